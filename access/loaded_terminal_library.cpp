#include "access/loaded_terminal_library.h"

#include <dlfcn.h>

#include <QDir>
#include <QFile>
#include <type_traits>

#include "core/errors.h"
#include "terminal/fkattend.h"

namespace orvelo {

namespace {

// A line of the operation table that no longer matches the C header (a type, a const, an
// argument) stops the build here instead of calling through a wrongly typed pointer.
#define ORVELO_CHECK_SIGNATURE(name, result, parameters, arguments)        \
    static_assert(std::is_same_v<decltype(&::name), result(*) parameters>, \
                  #name " in the operation table differs from its declaration in fkattend.h");
ORVELO_TERMINAL_OPERATIONS(ORVELO_CHECK_SIGNATURE)
#undef ORVELO_CHECK_SIGNATURE

LibraryError missingOperation(const QString& path, const QString& name) {
    return LibraryError(QStringLiteral("The terminal library %1 has no operation %2").arg(path, name));
}

// One pointer per operation, typed from the library's own header; null for an extension
// operation the library lacks.
struct Operations {
#define ORVELO_DECLARE_POINTER(name, result, parameters, arguments) decltype(&::name) name = nullptr;
    ORVELO_TERMINAL_OPERATIONS(ORVELO_DECLARE_POINTER)
#undef ORVELO_DECLARE_POINTER
};

class LoadedTerminalLibrary final : public TerminalLibrary {
public:
    LoadedTerminalLibrary(void* handle, const Operations& ops, QString path)
        : m_handle(handle), m_ops(ops), m_path(std::move(path)) {}
    ~LoadedTerminalLibrary() override { ::dlclose(m_handle); }

#define ORVELO_CALL_POINTER(name, result, parameters, arguments) \
    result name parameters override {                            \
        return m_ops.name arguments;                             \
    }
    ORVELO_TERMINAL_CORE_OPERATIONS(ORVELO_CALL_POINTER)
#undef ORVELO_CALL_POINTER

    // An older library lacks the extension: only the command that needs it fails, and says why.
#define ORVELO_CALL_OPTIONAL_POINTER(name, result, parameters, arguments)                 \
    result name parameters override {                                                     \
        if (m_ops.name == nullptr) throw missingOperation(m_path, QStringLiteral(#name)); \
        return m_ops.name arguments;                                                      \
    }
    ORVELO_TERMINAL_EXTENSION_OPERATIONS(ORVELO_CALL_OPTIONAL_POINTER)
#undef ORVELO_CALL_OPTIONAL_POINTER

private:
    void* m_handle;
    Operations m_ops;
    QString m_path;
};

}  // namespace

std::unique_ptr<TerminalLibrary> loadTerminalLibrary(const QString& folder) {
    const QString path = QDir(folder).filePath(QString::fromLatin1(kTerminalLibraryFile));
    const QByteArray encodedPath = QFile::encodeName(path);
    // RTLD_LOCAL: the library's own symbols stay out of the client's namespace.
    void* handle = ::dlopen(encodedPath.constData(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        const char* reason = ::dlerror();
        throw LibraryError(
            QStringLiteral("The terminal library %1 cannot be loaded: %2")
                .arg(path, QString::fromLocal8Bit(reason != nullptr ? reason : "unknown error")));
    }
    Operations ops;
#define ORVELO_RESOLVE(name, result, parameters, arguments)                  \
    ops.name = reinterpret_cast<decltype(ops.name)>(::dlsym(handle, #name)); \
    if (ops.name == nullptr) {                                               \
        ::dlclose(handle);                                                   \
        throw missingOperation(path, QStringLiteral(#name));                 \
    }
    ORVELO_TERMINAL_CORE_OPERATIONS(ORVELO_RESOLVE)
#undef ORVELO_RESOLVE
#define ORVELO_RESOLVE_OPTIONAL(name, result, parameters, arguments) \
    ops.name = reinterpret_cast<decltype(ops.name)>(::dlsym(handle, #name));
    ORVELO_TERMINAL_EXTENSION_OPERATIONS(ORVELO_RESOLVE_OPTIONAL)
#undef ORVELO_RESOLVE_OPTIONAL
    return std::make_unique<LoadedTerminalLibrary>(handle, ops, path);
}

LazyTerminalLibrary::LazyTerminalLibrary(QString folder) : m_folder(std::move(folder)) {}

LazyTerminalLibrary::~LazyTerminalLibrary() = default;

TerminalLibrary& LazyTerminalLibrary::inner() {
    // The window's command thread and its live watch's threads may make the first call at once.
    const std::lock_guard lock(m_loading);
    if (!m_library) m_library = loadTerminalLibrary(m_folder);
    return *m_library;
}

}  // namespace orvelo
