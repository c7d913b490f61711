// Linux: pcscd's socket (PCSCLITE_CSOCK_NAME or /run/pcscd/pcscd.comm), its
// program in the system's sbin folders and its systemd unit files.
#include "norvpcsc_daemon.h"

#include "norvpcsc_status.h"

#include <pcsclite.h>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace norvpcsc {

namespace {

constexpr const char *kDefaultSocket = "/run/pcscd/pcscd.comm";
constexpr const char *kPrograms[] = {"/usr/sbin/pcscd", "/usr/local/sbin/pcscd", "/sbin/pcscd"};
// systemd's unit folders, in its order of precedence.
constexpr const char *kUnitFolders[] = {"/etc/systemd/system", "/run/systemd/system",
                                        "/usr/local/lib/systemd/system", "/lib/systemd/system",
                                        "/usr/lib/systemd/system"};

enum class Socket { Answers, Forbidden, Silent };

Socket ProbeSocket()
{
    const char *chosen = std::getenv("PCSCLITE_CSOCK_NAME");
    const std::string path = chosen && *chosen ? chosen : kDefaultSocket;
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof address.sun_path)
        return Socket::Silent;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return Socket::Silent;
    const int connected = ::connect(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address);
    const int error = errno;
    ::close(fd);
    if (connected == 0)
        return Socket::Answers;
    return error == EACCES || error == EPERM ? Socket::Forbidden : Socket::Silent;
}

std::string Root()
{
    const char *root = std::getenv("NORVANE_PCSC_SYSTEM_ROOT");
    return root && *root ? root : "";
}

bool Exists(const std::string &path)
{
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0;
}

// The first unit folder that holds the unit, or empty.
std::string UnitFolder(const std::string &root, const char *unit)
{
    for (const char *folder : kUnitFolders) {
        if (Exists(root + folder + "/" + unit))
            return folder;
    }
    return std::string();
}

std::string StoppedText(const std::string &root, const std::string &program)
{
    std::string text = MessageOf(kDaemonStopped);
    text = text.substr(0, text.find(": ")) + ": start it with ";
    const std::string socketFolder = UnitFolder(root, "pcscd.socket");
    const std::string serviceFolder = UnitFolder(root, "pcscd.service");
    if (!socketFolder.empty()) {
        const bool enabled = Exists(root + "/etc/systemd/system/sockets.target.wants/pcscd.socket");
        text += enabled ? "\"systemctl start pcscd.socket\"" : "\"systemctl enable --now pcscd.socket\"";
        text += " (unit file " + socketFolder + "/pcscd.socket)";
    } else if (!serviceFolder.empty()) {
        text += "\"systemctl enable --now pcscd.service\" (unit file " + serviceFolder +
                "/pcscd.service; no pcscd.socket)";
    } else {
        text += "\"" + program + "\" as root (no systemd unit file of pcscd)";
    }
    return text;
}

} // namespace

DaemonState DaemonStateOf(LONG result)
{
    DaemonState state;
    if (result != SCARD_W_SECURITY_VIOLATION && result != SCARD_E_NO_SERVICE &&
        result != SCARD_E_SERVICE_STOPPED && result != SCARD_F_COMM_ERROR)
        return state;
    const Socket socket = ProbeSocket();
    if (result == SCARD_W_SECURITY_VIOLATION || socket == Socket::Forbidden) {
        state.status = kDaemonRefused;
    } else if (socket == Socket::Silent) {
        const std::string root = Root();
        std::string program;
        for (const char *path : kPrograms) {
            if (program.empty() && ::access((root + path).c_str(), X_OK) == 0)
                program = path;
        }
        state.status = program.empty() ? kDaemonNotInstalled : kDaemonStopped;
        if (!program.empty())
            state.text = StoppedText(root, program);
    }
    if (state.status != 0 && state.text.empty())
        state.text = MessageOf(state.status);
    return state;
}

} // namespace norvpcsc
