#include "errtrace.h"

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <mutex>
#include <netdb.h>
#include <netinet/in.h>
#include <new>
#include <sys/ipc.h>
#include <sys/mman.h>
#include <sys/sem.h>
#include <sys/shm.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

// One trace entry; entries form a stack, newest at the head.
struct ec_node {
    ec_node* next;
    int errno_value;
    void* data;         // the caller's extra datum; kept, never used
    const char* text;   // heap text, the emergency buffer, or the literal "?"
};

#define EC_SYM(category, name) {category, static_cast<int>(name), #name, ""}

// The signal dispositions are pointer constants, which can't appear in a constant initializer;
// these are their values on Linux (checked by the tests).
const ec_symbol ec_symbols[] = {
    EC_SYM("errno", EPERM), EC_SYM("errno", ENOENT), EC_SYM("errno", ESRCH),
    EC_SYM("errno", EINTR), EC_SYM("errno", EIO), EC_SYM("errno", ENXIO),
    EC_SYM("errno", E2BIG), EC_SYM("errno", ENOEXEC), EC_SYM("errno", EBADF),
    EC_SYM("errno", ECHILD), EC_SYM("errno", EAGAIN), EC_SYM("errno", ENOMEM),
    EC_SYM("errno", EACCES), EC_SYM("errno", EFAULT), EC_SYM("errno", EBUSY),
    EC_SYM("errno", EEXIST), EC_SYM("errno", EXDEV), EC_SYM("errno", ENODEV),
    EC_SYM("errno", ENOTDIR), EC_SYM("errno", EISDIR), EC_SYM("errno", EINVAL),
    EC_SYM("errno", ENFILE), EC_SYM("errno", EMFILE), EC_SYM("errno", ENOTTY),
    EC_SYM("errno", EFBIG), EC_SYM("errno", ENOSPC), EC_SYM("errno", ESPIPE),
    EC_SYM("errno", EROFS), EC_SYM("errno", EMLINK), EC_SYM("errno", EPIPE),
    EC_SYM("errno", EDOM), EC_SYM("errno", ERANGE), EC_SYM("errno", EDEADLK),
    EC_SYM("errno", ENAMETOOLONG), EC_SYM("errno", ENOLCK), EC_SYM("errno", ENOSYS),
    EC_SYM("errno", ENOTEMPTY), EC_SYM("errno", ENOTBLK), EC_SYM("errno", ETXTBSY),
    EC_SYM("errno", ENOTSOCK), EC_SYM("errno", EDESTADDRREQ), EC_SYM("errno", EMSGSIZE),
    EC_SYM("errno", EPROTOTYPE), EC_SYM("errno", ENOPROTOOPT),
    EC_SYM("errno", EPROTONOSUPPORT), EC_SYM("errno", ESOCKTNOSUPPORT),
    EC_SYM("errno", EOPNOTSUPP), EC_SYM("errno", EPFNOSUPPORT),
    EC_SYM("errno", EAFNOSUPPORT), EC_SYM("errno", EADDRINUSE),
    EC_SYM("errno", EADDRNOTAVAIL), EC_SYM("errno", ENETDOWN), EC_SYM("errno", ENETUNREACH),
    EC_SYM("errno", ENETRESET), EC_SYM("errno", ECONNABORTED), EC_SYM("errno", ECONNRESET),
    EC_SYM("errno", ENOBUFS), EC_SYM("errno", EISCONN), EC_SYM("errno", ENOTCONN),
    EC_SYM("errno", ESHUTDOWN), EC_SYM("errno", ETOOMANYREFS), EC_SYM("errno", ETIMEDOUT),
    EC_SYM("errno", ECONNREFUSED), EC_SYM("errno", ELOOP), EC_SYM("errno", EWOULDBLOCK),
    EC_SYM("errno", EALREADY), EC_SYM("errno", EINPROGRESS), EC_SYM("errno", EHOSTDOWN),
    EC_SYM("errno", EHOSTUNREACH), EC_SYM("errno", ESTALE), EC_SYM("errno", EUSERS),
    EC_SYM("errno", EC_EINTERNAL),

    {"sigaction", 0, "SIG_DFL", ""}, {"sigaction", 1, "SIG_IGN", ""},
    {"sigaction", -1, "SIG_ERR", ""},

    EC_SYM("sigaction_flags", SA_NOCLDSTOP), EC_SYM("sigaction_flags", SA_NOCLDWAIT),
    EC_SYM("sigaction_flags", SA_NODEFER), EC_SYM("sigaction_flags", SA_ONSTACK),
    EC_SYM("sigaction_flags", SA_RESETHAND), EC_SYM("sigaction_flags", SA_RESTART),
    EC_SYM("sigaction_flags", SA_SIGINFO),

    EC_SYM("sigprocmask", SIG_BLOCK), EC_SYM("sigprocmask", SIG_SETMASK),
    EC_SYM("sigprocmask", SIG_UNBLOCK),

    EC_SYM("signal", SIGABRT), EC_SYM("signal", SIGALRM), EC_SYM("signal", SIGBUS),
    EC_SYM("signal", SIGCHLD), EC_SYM("signal", SIGCONT), EC_SYM("signal", SIGFPE),
    EC_SYM("signal", SIGHUP), EC_SYM("signal", SIGILL), EC_SYM("signal", SIGINT),
    EC_SYM("signal", SIGKILL), EC_SYM("signal", SIGPIPE), EC_SYM("signal", SIGQUIT),
    EC_SYM("signal", SIGSEGV), EC_SYM("signal", SIGSTOP), EC_SYM("signal", SIGTERM),
    EC_SYM("signal", SIGTSTP), EC_SYM("signal", SIGTTIN), EC_SYM("signal", SIGTTOU),
    EC_SYM("signal", SIGUSR1), EC_SYM("signal", SIGUSR2), EC_SYM("signal", SIGPROF),
    EC_SYM("signal", SIGSYS), EC_SYM("signal", SIGTRAP), EC_SYM("signal", SIGURG),
    EC_SYM("signal", SIGVTALRM), EC_SYM("signal", SIGXCPU), EC_SYM("signal", SIGXFSZ),

    EC_SYM("fcntl", O_APPEND), EC_SYM("fcntl", O_CREAT), EC_SYM("fcntl", O_EXCL),
    EC_SYM("fcntl", O_NOCTTY), EC_SYM("fcntl", O_NONBLOCK), EC_SYM("fcntl", O_TRUNC),

    EC_SYM("fcntl_io", O_RDONLY), EC_SYM("fcntl_io", O_RDWR), EC_SYM("fcntl_io", O_WRONLY),

    EC_SYM("clock", CLOCKS_PER_SEC),

    EC_SYM("stdfileno", STDIN_FILENO), EC_SYM("stdfileno", STDOUT_FILENO),
    EC_SYM("stdfileno", STDERR_FILENO),

    EC_SYM("perm", S_IRUSR), EC_SYM("perm", S_IWUSR), EC_SYM("perm", S_IXUSR),
    EC_SYM("perm", S_IRGRP), EC_SYM("perm", S_IWGRP), EC_SYM("perm", S_IXGRP),
    EC_SYM("perm", S_IROTH), EC_SYM("perm", S_IWOTH), EC_SYM("perm", S_IXOTH),
    EC_SYM("perm", S_ISUID), EC_SYM("perm", S_ISGID), EC_SYM("perm", S_ISVTX),

    EC_SYM("lseek", SEEK_SET), EC_SYM("lseek", SEEK_CUR), EC_SYM("lseek", SEEK_END),

    EC_SYM("st_mode", S_IFMT), EC_SYM("st_mode", S_IFBLK), EC_SYM("st_mode", S_IFCHR),
    EC_SYM("st_mode", S_IFDIR), EC_SYM("st_mode", S_IFIFO), EC_SYM("st_mode", S_IFLNK),
    EC_SYM("st_mode", S_IFREG), EC_SYM("st_mode", S_IFSOCK),

    EC_SYM("access", R_OK), EC_SYM("access", W_OK), EC_SYM("access", X_OK),
    EC_SYM("access", F_OK),

    EC_SYM("fcntl_op", F_DUPFD), EC_SYM("fcntl_op", F_GETFD), EC_SYM("fcntl_op", F_SETFD),
    EC_SYM("fcntl_op", F_GETFL), EC_SYM("fcntl_op", F_SETFL), EC_SYM("fcntl_op", F_GETOWN),
    EC_SYM("fcntl_op", F_SETOWN), EC_SYM("fcntl_op", F_GETLK), EC_SYM("fcntl_op", F_SETLK),
    EC_SYM("fcntl_op", F_SETLKW),

    EC_SYM("fcntl_fd", FD_CLOEXEC),

    EC_SYM("lockf", F_LOCK), EC_SYM("lockf", F_TLOCK), EC_SYM("lockf", F_TEST),
    EC_SYM("lockf", F_ULOCK),

    EC_SYM("exit", EXIT_SUCCESS), EC_SYM("exit", EXIT_FAILURE),

    EC_SYM("SysVIPC_mode", IPC_CREAT), EC_SYM("SysVIPC_mode", IPC_EXCL),
    EC_SYM("SysVIPC_mode", IPC_NOWAIT),

    EC_SYM("SysVIPC_key", IPC_PRIVATE),

    EC_SYM("SysVIPC_cmd", IPC_RMID), EC_SYM("SysVIPC_cmd", IPC_STAT),
    EC_SYM("SysVIPC_cmd", IPC_SET), EC_SYM("SysVIPC_cmd", GETNCNT),
    EC_SYM("SysVIPC_cmd", GETZCNT), EC_SYM("SysVIPC_cmd", GETPID),
    EC_SYM("SysVIPC_cmd", GETVAL), EC_SYM("SysVIPC_cmd", SETVAL),
    EC_SYM("SysVIPC_cmd", GETALL), EC_SYM("SysVIPC_cmd", SETALL),

    EC_SYM("SysVIPC_shm", SHM_RND), EC_SYM("SysVIPC_shm", SHM_RDONLY),

    EC_SYM("mmap", PROT_READ), EC_SYM("mmap", PROT_WRITE), EC_SYM("mmap", PROT_EXEC),

    EC_SYM("mmap_flags", MAP_SHARED), EC_SYM("mmap_flags", MAP_PRIVATE),
    EC_SYM("mmap_flags", MAP_FIXED),

    EC_SYM("sigevent", SIGEV_SIGNAL), EC_SYM("sigevent", SIGEV_THREAD),
    EC_SYM("sigevent", SIGEV_NONE),

    EC_SYM("skt_domain", AF_UNIX), EC_SYM("skt_domain", AF_INET),
    EC_SYM("skt_domain", AF_INET6), EC_SYM("skt_domain", AF_UNSPEC),

    EC_SYM("skt_type", SOCK_DGRAM), EC_SYM("skt_type", SOCK_RAW),
    EC_SYM("skt_type", SOCK_SEQPACKET), EC_SYM("skt_type", SOCK_STREAM),

    EC_SYM("skt_level", SOL_SOCKET),

    EC_SYM("skt_option", SO_ACCEPTCONN), EC_SYM("skt_option", SO_BROADCAST),
    EC_SYM("skt_option", SO_DEBUG), EC_SYM("skt_option", SO_DONTROUTE),
    EC_SYM("skt_option", SO_ERROR), EC_SYM("skt_option", SO_KEEPALIVE),
    EC_SYM("skt_option", SO_LINGER), EC_SYM("skt_option", SO_OOBINLINE),
    EC_SYM("skt_option", SO_RCVBUF), EC_SYM("skt_option", SO_RCVLOWAT),
    EC_SYM("skt_option", SO_RCVTIMEO), EC_SYM("skt_option", SO_REUSEADDR),
    EC_SYM("skt_option", SO_SNDBUF), EC_SYM("skt_option", SO_SNDLOWAT),
    EC_SYM("skt_option", SO_SNDTIMEO), EC_SYM("skt_option", SO_TYPE),

    EC_SYM("skt_backlog", SOMAXCONN),

    EC_SYM("skt_msg_flag", MSG_CTRUNC), EC_SYM("skt_msg_flag", MSG_DONTROUTE),
    EC_SYM("skt_msg_flag", MSG_EOR), EC_SYM("skt_msg_flag", MSG_OOB),
    EC_SYM("skt_msg_flag", MSG_PEEK), EC_SYM("skt_msg_flag", MSG_TRUNC),
    EC_SYM("skt_msg_flag", MSG_WAITALL),

    EC_SYM("skt_shut", SHUT_RD), EC_SYM("skt_shut", SHUT_RDWR), EC_SYM("skt_shut", SHUT_WR),

    EC_SYM("skt_cmsg_type", SCM_RIGHTS),

    EC_SYM("getaddrinfo", AI_PASSIVE),

    EC_SYM("getnameinfo", NI_NOFQDN), EC_SYM("getnameinfo", NI_NUMERICHOST),
    EC_SYM("getnameinfo", NI_NAMEREQD), EC_SYM("getnameinfo", NI_NUMERICSERV),
    EC_SYM("getnameinfo", NI_DGRAM),

    EC_SYM("sockopt_level", IPPROTO_IP), EC_SYM("sockopt_level", IPPROTO_IPV6),
    EC_SYM("sockopt_level", IPPROTO_ICMP), EC_SYM("sockopt_level", IPPROTO_RAW),
    EC_SYM("sockopt_level", IPPROTO_TCP), EC_SYM("sockopt_level", IPPROTO_UDP),

    {nullptr, 0, nullptr, nullptr},
};

#undef EC_SYM

namespace {

constexpr std::size_t kEmergencyTextSize = 100;
constexpr std::size_t kEntryTextSize = 200;
constexpr std::size_t kLineSize = 225;

std::mutex trace_lock;
ec_node* head = nullptr;
bool exit_handler_registered = false;

// For when memory runs out: one node and one text, each used once.
ec_node emergency_node;
char emergency_text[kEmergencyTextSize];

std::mutex log_lock;
FILE* log_stream = nullptr;

bool log_enabled()
{
    const char* value = std::getenv("OAKVANE_TRACE_LOG");
    return value && std::strcmp(value, "1") == 0;
}

// Writes "<local time>: <message>\n"; the caller holds log_lock and the log is open.
void log_line_v(const char* format, va_list args)
{
    char stamp[30];
    const std::time_t now = std::time(nullptr);
    struct tm local;
    if (!localtime_r(&now, &local) || std::strftime(stamp, sizeof stamp, "%Y-%b-%d %X", &local) == 0)
        stamp[0] = '\0';
    std::fprintf(log_stream, "%s: ", stamp);
    std::vfprintf(log_stream, format, args);
    std::fputs("\n", log_stream);
}

// The log's folder and file, in buffers of their own: the log is opened from the exit handler
// too, maybe with memory exhausted.
struct LogPaths {
    char folder[PATH_MAX];
    char file[PATH_MAX + sizeof "/trace.log"];
};

// $XDG_STATE_HOME/oakvane, or ~/.local/state/oakvane when that is not set or not an absolute
// path. false with errno set when neither can be had, and paths.file then says where the log
// was wanted.
bool log_paths(LogPaths& paths)
{
    const char* state = std::getenv("XDG_STATE_HOME");
    const char* home = std::getenv("HOME");
    int folder = -1;
    if (state && state[0] == '/')
        folder = std::snprintf(paths.folder, sizeof paths.folder, "%s/oakvane", state);
    else if (home && home[0] == '/')
        folder = std::snprintf(paths.folder, sizeof paths.folder, "%s/.local/state/oakvane", home);
    if (folder > 0 && folder < static_cast<int>(sizeof paths.folder)) {
        std::snprintf(paths.file, sizeof paths.file, "%s/trace.log", paths.folder);
        return true;
    }
    std::snprintf(paths.file, sizeof paths.file, "%s", "$XDG_STATE_HOME/oakvane/trace.log");
    errno = folder < 0 ? ENOENT : ENAMETOOLONG;
    return false;
}

// Makes folder and the folders above it that are missing, each private to the user.
bool make_private_folders(char* folder)
{
    for (char* slash = std::strchr(folder + 1, '/');; slash = std::strchr(slash + 1, '/')) {
        if (slash)
            *slash = '\0';
        const bool made = ::mkdir(folder, 0700) == 0 || errno == EEXIST;
        if (slash)
            *slash = '/';
        if (!made || !slash)
            return made;
    }
}

// The log, appended to; null with errno set when it can't be opened. Neither the log nor its
// folder may be a link: whoever could plant one there could have the log written over some
// other file.
FILE* open_log(LogPaths& paths)
{
    if (!log_paths(paths) || !make_private_folders(paths.folder))
        return nullptr;
    const int dir = ::open(paths.folder, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (dir < 0)
        return nullptr;
    const int fd = ::openat(dir, "trace.log", O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
    const int open_error = errno;
    ::close(dir);
    FILE* stream = fd >= 0 ? ::fdopen(fd, "a") : nullptr;
    const int stream_error = errno;
    if (fd >= 0 && !stream)
        ::close(fd);
    errno = fd < 0 ? open_error : stream_error;
    return stream;
}

void log_line(const char* format, ...) __attribute__((format(printf, 1, 2)));
void log_line(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    log_line_v(format, args);
    va_end(args);
}

}  // namespace

namespace {

constexpr char kUnknownText[] = "?";

// The entry's text in a fresh buffer; without memory the emergency buffer once, then "?".
const char* entry_text(const char* function, const char* file, int line, const char* expression)
{
    std::size_t size = std::strlen(function) + std::strlen(file) + std::strlen(expression) + 12;
    char* text = new (std::nothrow) char[size]();
    if (!text) {
        if (emergency_text[0] != '\0')
            return kUnknownText;
        text = emergency_text;
        size = sizeof emergency_text;
    }
    std::snprintf(text, size, "%s%s%s%s%d%s%s", function, " [", file, ":", line, "] ", expression);
    return text;
}

}  // namespace

void ec_push(const char* function, const char* file, int line, const char* expression,
             int errno_value, void* data)
{
    if (!function)
        function = "";
    if (!file)
        file = "";
    if (!expression)
        expression = "";

    bool first_push;
    {
        std::lock_guard<std::mutex> guard(trace_lock);
        const char* text = entry_text(function, file, line, expression);
        ec_node* node = new (std::nothrow) ec_node();
        if (!node && !emergency_node.text)
            node = &emergency_node;
        if (node) {
            *node = {head, errno_value, data, text};
            head = node;
        } else if (text != emergency_text && text != kUnknownText) {
            delete[] text;  // the entry is lost; ec_print marks the emergency node's place
        }
        first_push = !exit_handler_registered;
        exit_handler_registered = true;
    }
    if (first_push && std::atexit(ec_print) != 0) {
        ec_push(function, file, line, "atexit failed", errno, data);
        ec_print();
    }
}

void ec_print()
{
    std::lock_guard<std::mutex> guard(trace_lock);
    int i = 0;
    for (const ec_node* node = head; node; node = node->next, ++i) {
        if (node == &emergency_node)
            std::fputs("\t*** Trace may be incomplete ***\n", stderr);
        char text[kEntryTextSize];
        ec_errno_text(text, sizeof text, node->text, node->next ? 0 : node->errno_value, node->data);
        char line[kLineSize];
        std::snprintf(line, sizeof line, "%s\t%d: %s", i == 0 ? "ERROR:" : "", i, text);
        std::fprintf(stderr, "%s\n", line);
        ec_log("%s", line);
    }
}

void ec_log(const char* format, ...)
{
    if (!log_enabled())
        return;
    std::lock_guard<std::mutex> guard(log_lock);
    if (!log_stream) {
        static LogPaths paths;
        log_stream = open_log(paths);
        if (!log_stream) {
            std::fprintf(stderr, "Can't open logfile \"%s\": %s\n", paths.file, std::strerror(errno));
            // _exit, not exit: this may run inside the exit handler, where exit would be
            // undefined, and exit handlers would try to log again.
            std::fflush(nullptr);
            _exit(1);
        }
        std::setvbuf(log_stream, nullptr, _IONBF, 0);
        std::fputs("\n", log_stream);
        log_line("Log file %s opened", paths.file);
    }
    va_list args;
    va_start(args, format);
    log_line_v(format, args);
    va_end(args);
}

const char* ec_lookup(const char* category, int value, const char** description)
{
    for (const ec_symbol* sym = ec_symbols; sym->category; ++sym) {
        if (std::strcmp(sym->category, category) == 0 && sym->value == value) {
            if (description)
                *description = sym->description;
            return sym->name;
        }
    }
    if (description)
        *description = "?";
    return "?";
}

char* ec_errno_text(char* buf, std::size_t size, const char* text, int errno_value, void* /*data*/)
{
    if (size == 0)
        return buf;
    if (!text)
        text = "???";
    if (errno_value == 0) {
        std::snprintf(buf, size, "%s", text);
        return buf;
    }
    const char* message;
    const char* symbol;
    if (errno_value == EC_EINTERNAL) {
        message = "Internal error (nonstandard)";
        symbol = ec_lookup("?", errno_value, nullptr);
    } else {
        message = std::strerror(errno_value);
        if (!message)
            message = "no message string";
        symbol = ec_lookup("errno", errno_value, nullptr);
    }
    std::snprintf(buf, size, "%s\n\t\t*** %s (%d: \"%s\") ***", text, symbol, errno_value, message);
    return buf;
}

std::vector<ec_entry> ec_entries()
{
    std::vector<ec_entry> entries;
    std::lock_guard<std::mutex> guard(trace_lock);
    for (const ec_node* node = head; node; node = node->next)
        entries.push_back({node->text ? node->text : "", node->errno_value});
    return entries;
}
