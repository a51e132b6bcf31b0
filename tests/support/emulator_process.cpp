#include "tests/support/emulator_process.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QProcess>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace orvelo::test {

namespace {

[[noreturn]] void fail(const QString& text) {
    throw std::runtime_error(text.toStdString());
}

void runTool(const QStringList& arguments, QByteArray* output = nullptr) {
    QProcess process;
    process.setProcessChannelMode(output ? QProcess::SeparateChannels : QProcess::ForwardedChannels);
    process.start(EmulatorProcess::emulatorPath(), arguments);
    if (!process.waitForFinished(120'000) || process.exitStatus() != QProcess::NormalExit ||
        process.exitCode() != 0) {
        fail(QStringLiteral("orvelo-terminal %1 failed: %2")
                 .arg(arguments.join(QLatin1Char(' ')), QString::fromUtf8(process.readAllStandardError())));
    }
    if (output) *output = process.readAllStandardOutput();
}

}  // namespace

EmulatorProcess::EmulatorProcess(QString stateFile) : m_stateFile(std::move(stateFile)) {}

EmulatorProcess::~EmulatorProcess() {
    if (running()) stop();
    if (!m_usbDir.isEmpty()) QDir(m_usbDir).removeRecursively();
}

QString EmulatorProcess::binFolder() {
    return QCoreApplication::applicationDirPath();
}

QString EmulatorProcess::emulatorPath() {
    return QDir(binFolder()).filePath(QStringLiteral("orvelo-terminal"));
}

void EmulatorProcess::writeState(const QString& path, const QJsonObject& state) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        fail(QStringLiteral("cannot write %1").arg(path));
    file.write(QJsonDocument(state).toJson());
}

void EmulatorProcess::seed(const QString& path, int users, int enrollments, int logs, int seed) {
    runTool({QStringLiteral("seed"), QStringLiteral("--users"), QString::number(users),
             QStringLiteral("--enrollments"), QString::number(enrollments), QStringLiteral("--logs"),
             QString::number(logs), QStringLiteral("--out"), path, QStringLiteral("--seed"),
             QString::number(seed)});
}

void EmulatorProcess::exportUsb(const QString& statePath, const QString& out) {
    runTool({QStringLiteral("--state"), statePath, QStringLiteral("--export-usb"), out});
}

QJsonObject EmulatorProcess::dump() const {
    QByteArray output;
    runTool({QStringLiteral("--state"), m_stateFile, QStringLiteral("--dump")}, &output);
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(output, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        fail(QStringLiteral("--dump gave no JSON object: %1").arg(error.errorString()));
    return document.object();
}

void EmulatorProcess::exportUsbDir() const {
    qputenv("FK_USB_DIR", QFile::encodeName(m_usbDir));
}

void EmulatorProcess::exportComPort(int n) const {
    const QByteArray name = QByteArray("FK_COM") + QByteArray::number(n);
    qputenv(name.constData(), QFile::encodeName(m_ptyPath));
}

void EmulatorProcess::start(const Options& options) {
    if (running()) fail(QStringLiteral("the emulator is already running"));
    QStringList arguments{QStringLiteral("--state"), m_stateFile};
    if (options.tcp) arguments << QStringLiteral("--tcp") << QStringLiteral("127.0.0.1:0");
    if (options.udp) arguments << QStringLiteral("--udp") << QStringLiteral("127.0.0.1:0");
    if (options.serialPty) arguments << QStringLiteral("--serial-pty");
    if (options.usb) arguments << QStringLiteral("--usb");
    if (options.machine) arguments << QStringLiteral("--machine") << QString::number(*options.machine);
    if (options.password) arguments << QStringLiteral("--password") << QString::number(*options.password);
    for (const QString& fault : options.faults) arguments << QStringLiteral("--fault") << fault;
    arguments << options.extraArguments;

    if (options.usb && m_usbDir.isEmpty()) {
        // Short, so the socket path stays far below the 107 bytes a socket address holds.
        char pattern[] = "/tmp/fkusb-XXXXXX";
        if (::mkdtemp(pattern) == nullptr) fail(QStringLiteral("mkdtemp failed"));
        m_usbDir = QString::fromLocal8Bit(pattern);
    }

    // Everything the child needs is prepared before fork: after it only async-signal-safe calls.
    std::vector<std::string> argStorage{QFile::encodeName(emulatorPath()).toStdString()};
    for (const QString& a : arguments) argStorage.push_back(a.toUtf8().toStdString());
    std::vector<char*> argv;
    for (auto& a : argStorage) argv.push_back(a.data());
    argv.push_back(nullptr);
    std::vector<std::string> envStorage;
    for (char** e = environ; *e != nullptr; ++e)
        if (std::strncmp(*e, "FK_USB_DIR=", 11) != 0) envStorage.emplace_back(*e);
    if (!m_usbDir.isEmpty()) envStorage.push_back("FK_USB_DIR=" + QFile::encodeName(m_usbDir).toStdString());
    std::vector<char*> envp;
    for (auto& e : envStorage) envp.push_back(e.data());
    envp.push_back(nullptr);

    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0) fail(QStringLiteral("pipe failed"));
    const pid_t pid = ::fork();
    if (pid < 0) fail(QStringLiteral("fork failed"));
    if (pid == 0) {
        ::dup2(out[1], STDOUT_FILENO);
        ::execve(argv[0], argv.data(), envp.data());
        ::_exit(127);
    }
    ::close(out[1]);
    m_pid = pid;

    std::string line;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    bool complete = false;
    while (!complete) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) break;
        pollfd p{out[0], POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(left.count())) <= 0) continue;
        char c;
        const ssize_t n = ::read(out[0], &c, 1);
        if (n <= 0) break;
        if (c == '\n')
            complete = true;
        else
            line += c;
    }
    ::close(out[0]);
    if (!complete) {
        kill();
        fail(QStringLiteral("orvelo-terminal %1 did not report listening")
                 .arg(arguments.join(QLatin1Char(' '))));
    }
    parseListeningLine(QString::fromUtf8(line));
    if (options.usb) exportUsbDir();
}

void EmulatorProcess::parseListeningLine(const QString& line) {
    m_listeningLine = line;
    const QStringList parts = line.split(QLatin1Char(' '));
    if (parts.size() != 5 || parts[0] != QLatin1String("listening"))
        fail(QStringLiteral("unexpected line: ") + line);
    auto valueOf = [&](int index, QLatin1String key) {
        if (!parts[index].startsWith(key)) fail(QStringLiteral("unexpected line: ") + line);
        const QString value = parts[index].mid(key.size());
        return value == QLatin1String("-") ? QString() : value;
    };
    auto portOf = [](const QString& endpoint) {
        return endpoint.isEmpty() ? 0 : endpoint.section(QLatin1Char(':'), -1).toInt();
    };
    m_tcpPort = portOf(valueOf(1, QLatin1String("tcp=")));
    m_udpPort = portOf(valueOf(2, QLatin1String("udp=")));
    m_ptyPath = valueOf(3, QLatin1String("pty="));
    m_usbSocket = valueOf(4, QLatin1String("usb="));
}

int EmulatorProcess::waitForExit(int timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        int status = 0;
        const pid_t r = ::waitpid(m_pid, &status, WNOHANG);
        if (r == m_pid || (r < 0 && errno == ECHILD)) {
            const bool exited = r > 0 && WIFEXITED(status);
            m_pid = -1;
            return exited ? WEXITSTATUS(status) : -1;
        }
        if (std::chrono::steady_clock::now() >= deadline) return -2;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

int EmulatorProcess::stop() {
    if (!running()) return -1;
    ::kill(m_pid, SIGTERM);
    const int status = waitForExit(10'000);
    if (status != -2) return status;
    kill();
    return -1;
}

void EmulatorProcess::kill() {
    if (!running()) return;
    ::kill(m_pid, SIGKILL);
    waitForExit(10'000);
    m_pid = -1;
}

}  // namespace orvelo::test
