#include "pcscdtestbed.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QThread>
#include <QtGlobal>

#include <PCSC/winscard.h>
#include <PCSC/wintypes.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace qarntest {

namespace {

const QString kScript = QStringLiteral(QARN_SOURCE_DIR "/scripts/pcscd_testbed.sh");

// One folder per process, removed at its end: the socket path must not
// change once a PC/SC client has read it.
struct TBedFolder {
    std::string path;
    TBedFolder()
    {
        // Short, under /tmp: a socket path holds at most 107 bytes.
        char name[] = "/tmp/qarn-pcscd-XXXXXX";
        if (::mkdtemp(name))
            path = name;
    }
    ~TBedFolder()
    {
        std::error_code ignored;
        if (!path.empty())
            std::filesystem::remove_all(path, ignored);
    }
};

const std::string &Folder()
{
    static TBedFolder folder;
    return folder.path;
}

bool PortFree(uint16_t port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_ANY);
    const bool free = ::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0;
    ::close(fd);
    return free;
}

// A port that is free, with the next one free too (vpcd's two slots).
uint16_t FreePortPair()
{
    for (int attempt = 0; attempt < 100; ++attempt) {
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_ANY);
        socklen_t size = sizeof address;
        uint16_t port = 0;
        if (::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0 &&
            ::getsockname(fd, reinterpret_cast<sockaddr *>(&address), &size) == 0)
            port = ntohs(address.sin_port);
        ::close(fd);
        if (port != 0 && port < 65535 && PortFree(port + 1))
            return port;
    }
    return 0;
}

class TContext {
public:
    TContext()
    {
        if (SCardEstablishContext(SCARD_SCOPE_SYSTEM, nullptr, nullptr, &FContext) != SCARD_S_SUCCESS)
            FContext = 0;
    }
    ~TContext()
    {
        if (FContext)
            SCardReleaseContext(FContext);
    }
    SCARDCONTEXT get() const { return FContext; }

private:
    SCARDCONTEXT FContext = 0;
};

} // namespace

QString PcscdTestBed::Unavailable()
{
    QProcess check;
    check.start(QStringLiteral("bash"), {kScript, QStringLiteral("check")});
    if (!check.waitForFinished(30000))
        return QStringLiteral("the test bed check did not end");
    if (check.exitStatus() == QProcess::NormalExit && check.exitCode() == 0)
        return QString();
    return QString::fromLocal8Bit(check.readAllStandardOutput() + check.readAllStandardError())
        .trimmed();
}

QString PcscdTestBed::SocketPath()
{
    return QString::fromStdString(Folder()) + QStringLiteral("/run/pcscd/pcscd.comm");
}

QString PcscdTestBed::ReaderName(int slot)
{
    return QStringLiteral("Virtual PCD 00 0%1").arg(slot);
}

QString PcscdTestBed::SimReaderName(int index)
{
    return QStringLiteral("Qarn Sim %1 00 00").arg(QChar(u'A' + index));
}

static QString SimFile(int index, const char *what)
{
    return QString::fromStdString(Folder()) + QStringLiteral("/sim/%1.%2").arg(index).arg(what);
}

bool PcscdTestBed::ConfigureSimReader(int index, const QByteArray &config)
{
    // Written aside and renamed over, so the driver never reads half a file.
    QFile file(SimFile(index, "new"));
    return file.open(QIODevice::WriteOnly) && file.write(config) == config.size() &&
           file.flush() && std::rename(qPrintable(file.fileName()), qPrintable(SimFile(index, "ini"))) == 0;
}

PcscdTestBed::PcscdTestBed() : FPort(FreePortPair())
{
    qputenv("PCSCLITE_CSOCK_NAME", SocketPath().toLocal8Bit());
}

PcscdTestBed::~PcscdTestBed() { Stop(); }

bool PcscdTestBed::Start()
{
    Stop();
    if (Folder().empty() || FPort == 0) {
        qWarning("test bed: no folder or no free ports");
        return false;
    }
    const QString folder = QString::fromStdString(Folder());
    QDir(folder + QStringLiteral("/sim")).removeRecursively();
    QDir().mkpath(folder + QStringLiteral("/sim"));
    QDir().mkpath(folder + QStringLiteral("/conf"));
    for (int i = 0; i < 26; ++i)
        QFile::remove(folder + QStringLiteral("/conf/sim%1").arg(i));
    for (int i = 0; i < FSimReaders; ++i) {
        QFile entry(folder + QStringLiteral("/conf/sim%1").arg(i));
        const QString name = SimReaderName(i).chopped(6);
        if (!QFile::copy(QStringLiteral(QARN_IFDSIM_LIBRARY), SimFile(i, "so")) ||
            !ConfigureSimReader(i, QByteArray()) || !entry.open(QIODevice::WriteOnly) ||
            entry.write(QStringLiteral("FRIENDLYNAME \"%1\"\nDEVICENAME %2\nLIBPATH %3\n")
                            .arg(name, SimFile(i, "ini"), SimFile(i, "so"))
                            .toLocal8Bit()) < 0) {
            qWarning("test bed: cannot set up the test driver's reader %d", i);
            return false;
        }
    }
    // Everything the child needs is made before fork: after it, in a
    // process with threads, only plain system calls are safe.
    const std::string script = kScript.toStdString();
    const std::string port = std::to_string(FPort);
    const std::string log = Folder() + "/pcscd.log";
    const char *argv[] = {"bash", script.c_str(), "run", Folder().c_str(), port.c_str(), nullptr};
    const pid_t pid = ::fork();
    if (pid < 0)
        return false;
    if (pid == 0) {
        // The daemon ends with the test process, even when that is killed.
        ::prctl(PR_SET_PDEATHSIG, SIGTERM);
        const int out = ::open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (out >= 0) {
            ::dup2(out, 1);
            ::dup2(out, 2);
        }
        ::execvp("bash", const_cast<char *const *>(argv));
        ::_exit(127);
    }
    FPid = pid;

    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < 10000) {
        if (Readers().size() == 2 + FSimReaders)
            return true;
        int status = 0;
        if (::waitpid(FPid, &status, WNOHANG) == FPid) {
            FPid = -1;
            break;
        }
        QThread::msleep(50);
    }
    qWarning("test bed: pcscd did not list its readers; its log:\n%s", qPrintable(Log()));
    Stop();
    return false;
}

void PcscdTestBed::Stop()
{
    if (FPid <= 0)
        return;
    ::kill(FPid, SIGTERM);
    int status = 0;
    for (int i = 0; i < 100; ++i) {
        if (::waitpid(FPid, &status, WNOHANG) == FPid) {
            FPid = -1;
            return;
        }
        QThread::msleep(50);
    }
    ::kill(FPid, SIGKILL);
    ::waitpid(FPid, &status, 0);
    FPid = -1;
}

QStringList PcscdTestBed::Readers()
{
    TContext context;
    QStringList readers;
    DWORD size = 0;
    if (!context.get() ||
        SCardListReaders(context.get(), nullptr, nullptr, &size) != SCARD_S_SUCCESS)
        return readers;
    QByteArray names(int(size), '\0');
    if (SCardListReaders(context.get(), nullptr, names.data(), &size) != SCARD_S_SUCCESS)
        return readers;
    for (const QByteArray &name : names.split('\0'))
        if (!name.isEmpty())
            readers << QString::fromLocal8Bit(name);
    return readers;
}

bool PcscdTestBed::WaitForCard(int slot, bool present, int timeoutMs)
{
    return WaitForCard(ReaderName(slot), present, timeoutMs);
}

bool PcscdTestBed::WaitForCard(const QString &readerName, bool present, int timeoutMs)
{
    TContext context;
    if (!context.get())
        return false;
    const QByteArray reader = readerName.toLocal8Bit();
    SCARD_READERSTATE state{};
    state.szReader = reader.constData();
    state.dwCurrentState = SCARD_STATE_UNAWARE;
    QElapsedTimer timer;
    timer.start();
    while (true) {
        const qint64 left = timeoutMs - timer.elapsed();
        if (left <= 0)
            return false;
        const LONG rv = SCardGetStatusChange(context.get(), DWORD(left), &state, 1);
        if (rv != SCARD_S_SUCCESS)
            return false;
        // The daemon tells an unresponsive card (an unusable answer to reset)
        // as present and mute: that is a card in the field too.
        if (bool(state.dwEventState & SCARD_STATE_PRESENT) == present)
            return true;
        state.dwCurrentState = state.dwEventState & ~SCARD_STATE_CHANGED;
    }
}

QString PcscdTestBed::Log() const
{
    QFile log(QString::fromStdString(Folder()) + QStringLiteral("/pcscd.log"));
    return log.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(log.readAll()) : QString();
}

} // namespace qarntest
