#pragma once

#include <sys/types.h>

#include <QJsonObject>
#include <QString>
#include <QStringList>
#include <optional>

namespace orvelo::test {

// Runs the terminal emulator orvelo-terminal (from the folder of the test binary, where the build
// puts every executable and libfkattend.so) for an end-to-end test, on 127.0.0.1 only.
//
//   EmulatorProcess::seed(path, 3, 2, 10);        // or writeState(path, json)
//   EmulatorProcess terminal(path);
//   EmulatorProcess::Options options;  // TCP by default
//   options.usb = true;
//   terminal.start(options);
//   FK_ConnectNet(1, "127.0.0.1", terminal.tcpPort(), 3000, 0, 0);
//   ... terminal.dump()["logs"] ...
//
// The destructor stops a running emulator with SIGTERM (SIGKILL if it has not exited after 10 s)
// and removes the temporary USB folder. Failures to start throw std::runtime_error.
class EmulatorProcess {
public:
    struct Options {
        bool tcp = true;              // --tcp 127.0.0.1:0
        bool udp = false;             // --udp 127.0.0.1:0
        bool serialPty = false;       // --serial-pty
        bool usb = false;             // --usb, with FK_USB_DIR a new temporary folder (see usbDir)
        std::optional<int> machine;   // --machine N
        std::optional<int> password;  // --password N
        QStringList faults;           // each one --fault FAULT, e.g. "drop-after=3"
        QStringList extraArguments;   // appended as they are
    };

    explicit EmulatorProcess(QString stateFile);
    ~EmulatorProcess();
    EmulatorProcess(const EmulatorProcess&) = delete;
    EmulatorProcess& operator=(const EmulatorProcess&) = delete;

    // Starts the emulator and waits (up to 60 s) for its "listening" line. With options.usb it
    // also sets FK_USB_DIR in this process to usbDir(), since the library reads it there.
    void start(const Options& options);
    void start() { start(Options{}); }
    // SIGTERM, then waits; returns the exit status (0 for a clean exit, -1 if it had to be killed
    // or was not running). SIGKILL after 10 s.
    int stop();
    // SIGKILL, then waits: a crash at an arbitrary moment.
    void kill();
    bool running() const { return m_pid > 0; }
    pid_t pid() const { return m_pid; }

    const QString& stateFile() const { return m_stateFile; }
    const QString& listeningLine() const { return m_listeningLine; }
    int tcpPort() const { return m_tcpPort; }             // 0 when not served
    int udpPort() const { return m_udpPort; }             // 0 when not served
    const QString& ptyPath() const { return m_ptyPath; }  // empty when not served
    const QString& usbDir() const { return m_usbDir; }    // empty when not served
    const QString& usbSocketPath() const { return m_usbSocket; }

    // FK_USB_DIR=usbDir() in this process (done by start with options.usb).
    void exportUsbDir() const;
    // FK_COM<n>=ptyPath() in this process, so that FK_ConnectComm(machine, n, ...) opens the pty.
    void exportComPort(int n) const;

    // The state file as the emulator reads it (orvelo-terminal --state FILE --dump); works while
    // the emulator runs and after it stopped. Throws std::runtime_error when the dump fails.
    QJsonObject dump() const;

    // Folder of the running test binary: the build's bin folder.
    static QString binFolder();
    static QString emulatorPath();
    static void writeState(const QString& path, const QJsonObject& state);
    // orvelo-terminal seed --users N --enrollments M --logs K --out PATH --seed S
    static void seed(const QString& path, int users, int enrollments, int logs, int seed = 1);
    // orvelo-terminal --state PATH --export-usb OUT
    static void exportUsb(const QString& statePath, const QString& out);

private:
    void parseListeningLine(const QString& line);
    int waitForExit(int timeoutMs);

    QString m_stateFile;
    pid_t m_pid = -1;
    QString m_listeningLine;
    int m_tcpPort = 0;
    int m_udpPort = 0;
    QString m_ptyPath;
    QString m_usbDir;
    QString m_usbSocket;
};

}  // namespace orvelo::test
