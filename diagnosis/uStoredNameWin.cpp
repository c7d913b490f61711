// Windows: each place of the stored device name is the registry key
// Software\Ardanel\Norvane, under HKEY_LOCAL_MACHINE (machine-wide) or
// HKEY_CURRENT_USER (per user), in the registry view of this program's own
// size.  The value DeviceName is always a REG_SZ text, so that the reader
// maker's software, which reads it through the ANSI functions, gets the
// name's bytes back in the system's ANSI code page.
#include "uStoredName.h"

#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <QStringList>

#include <algorithm>
#include <string>
#include <vector>

namespace {

const wchar_t kOrganisationKey[] = L"Software\\Ardanel";
const wchar_t kApplicationKey[] = L"Software\\Ardanel\\Norvane";
const wchar_t kValueName[] = L"DeviceName";

HKEY Root(QSettings::Scope scope)
{
    return scope == QSettings::SystemScope ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
}

QString RootName(QSettings::Scope scope)
{
    return scope == QSettings::SystemScope ? QStringLiteral("HKEY_LOCAL_MACHINE")
                                           : QStringLiteral("HKEY_CURRENT_USER");
}

// Closes a key on every path out.
class TKey {
public:
    TKey() = default;
    ~TKey()
    {
        if (FKey)
            ::RegCloseKey(FKey);
    }
    TKey(const TKey &) = delete;
    TKey &operator=(const TKey &) = delete;
    HKEY *Out() { return &FKey; }
    HKEY Get() const { return FKey; }

private:
    HKEY FKey = nullptr;
};

QString SystemMessage(LONG error)
{
    wchar_t *text = nullptr;
    const DWORD length = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, DWORD(error), 0, reinterpret_cast<wchar_t *>(&text), 0, nullptr);
    QString message = length ? QString::fromWCharArray(text, int(length)).trimmed() : QString();
    if (text)
        ::LocalFree(text);
    return QStringLiteral("error %1%2")
        .arg(error)
        .arg(message.isEmpty() ? QString() : QStringLiteral(": ") + message);
}

// The name's bytes as UTF-16 through the ANSI code page; false when a byte
// (or a cut double-byte character) has no character there.
bool AnsiToWide(const QByteArray &bytes, std::wstring &wide)
{
    wide.clear();
    if (bytes.isEmpty())
        return true;
    const int length = ::MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, bytes.constData(),
                                             int(bytes.size()), nullptr, 0);
    if (length <= 0)
        return false;
    wide.resize(std::size_t(length));
    return ::MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, bytes.constData(), int(bytes.size()),
                                 wide.data(), length) == length;
}

// The text's bytes in the ANSI code page; false when a character has no
// exact byte form there (no "best fit" stand-ins).
bool WideToAnsi(const std::wstring &wide, QByteArray &bytes)
{
    bytes.clear();
    if (wide.empty())
        return true;
    BOOL usedDefault = FALSE;
    const int length = ::WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(),
                                             int(wide.size()), nullptr, 0, nullptr, &usedDefault);
    if (length <= 0 || usedDefault)
        return false;
    bytes.resize(length);
    return ::WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(), int(wide.size()),
                                 bytes.data(), length, nullptr, &usedDefault) == length &&
           !usedDefault;
}

QString TypeName(DWORD type)
{
    switch (type) {
    case REG_DWORD: return QStringLiteral("REG_DWORD");
    case REG_QWORD: return QStringLiteral("REG_QWORD");
    case REG_BINARY: return QStringLiteral("REG_BINARY");
    case REG_MULTI_SZ: return QStringLiteral("REG_MULTI_SZ");
    case REG_NONE: return QStringLiteral("REG_NONE");
    default: return QStringLiteral("type %1").arg(type);
    }
}

} // namespace

QString StoredNameFile(QSettings::Scope scope)
{
    return RootName(scope) + QStringLiteral("\\") + QString::fromWCharArray(kApplicationKey);
}

QByteArray ReadStoredName(QSettings::Scope scope, QString *unreadable)
{
    const QString where = StoredNameFile(scope) + QStringLiteral(", value ") +
                          QString::fromLatin1(kDeviceNameValue) + QStringLiteral(": ");
    QString why;
    QByteArray name;
    TKey key;
    const LONG opened =
        ::RegOpenKeyExW(Root(scope), kApplicationKey, 0, KEY_QUERY_VALUE, key.Out());
    if (opened == ERROR_ACCESS_DENIED) {
        why = QStringLiteral("no read permission");
    } else if (opened == ERROR_SUCCESS) {
        DWORD type = REG_NONE;
        DWORD size = 0;
        LONG read = ::RegQueryValueExW(key.Get(), kValueName, nullptr, &type, nullptr, &size);
        if (read == ERROR_SUCCESS && type != REG_SZ && type != REG_EXPAND_SZ) {
            why = QStringLiteral("the value is %1, not a text").arg(TypeName(type));
        } else if (read == ERROR_SUCCESS) {
            // One spare character: the stored text need not end in a zero.
            std::vector<wchar_t> text(size / sizeof(wchar_t) + 1, L'\0');
            size = DWORD(text.size() * sizeof(wchar_t));
            read = ::RegQueryValueExW(key.Get(), kValueName, nullptr, &type,
                                      reinterpret_cast<BYTE *>(text.data()), &size);
            std::wstring wide(text.data(),
                              std::min<std::size_t>(size / sizeof(wchar_t), text.size()));
            // A REG_EXPAND_SZ is read as it is, without expansion.
            const std::size_t end = wide.find(L'\0');
            if (end != std::wstring::npos)
                wide.resize(end);
            if (read != ERROR_SUCCESS)
                why = SystemMessage(read);
            else if (!WideToAnsi(wide, name))
                why =
                    QStringLiteral("the text has characters that the ANSI code page %1 cannot show")
                        .arg(::GetACP());
        } else if (read != ERROR_FILE_NOT_FOUND) {
            why = SystemMessage(read);
        }
    } else if (opened != ERROR_FILE_NOT_FOUND && opened != ERROR_PATH_NOT_FOUND) {
        why = SystemMessage(opened);
    }
    if (!why.isEmpty()) {
        name.clear();
        if (unreadable)
            *unreadable = where + why;
    }
    return name;
}

QString UnstorableName(const QByteArray &name)
{
    std::wstring wide;
    if (AnsiToWide(name, wide))
        return QString();
    // The bytes that are no character by themselves; a lead byte of a
    // double-byte code page is one only with the byte after it.
    QStringList bytes;
    for (const char byte : name) {
        if (!::IsDBCSLeadByte(BYTE(byte)) && !AnsiToWide(QByteArray(1, byte), wide))
            bytes << QStringLiteral("0x%1").arg(uint(uchar(byte)), 2, 16, QLatin1Char('0'));
    }
    QString what = QStringLiteral("a double-byte character is cut short");
    if (bytes.size() == 1)
        what = QStringLiteral("the byte %1 is no character").arg(bytes.first());
    else if (!bytes.isEmpty())
        what =
            QStringLiteral("the bytes %1 are no characters").arg(bytes.join(QStringLiteral(", ")));
    return QStringLiteral("The device name cannot be stored: %1 in the system's ANSI code page %2. "
                          "Nothing was saved.")
        .arg(what)
        .arg(::GetACP());
}

bool StoreNameInPlace(QSettings::Scope scope, const QByteArray *name, QString &failure)
{
    // The organisation's key first, created when missing and closed again;
    // whether that worked is not looked at.
    {
        TKey organisation;
        ::RegCreateKeyExW(Root(scope), kOrganisationKey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                          KEY_ALL_ACCESS, nullptr, organisation.Out(), nullptr);
    }
    TKey key;
    if (::RegCreateKeyExW(Root(scope), kApplicationKey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                          KEY_ALL_ACCESS, nullptr, key.Out(), nullptr) != ERROR_SUCCESS)
        return false;
    LONG result = ERROR_SUCCESS;
    std::wstring wide;
    if (!name) {
        result = ::RegDeleteValueW(key.Get(), kValueName);
        if (result == ERROR_FILE_NOT_FOUND)
            result = ERROR_SUCCESS; // deleting an absent value is no error
    } else if (!AnsiToWide(*name, wide)) {
        result = ERROR_NO_UNICODE_TRANSLATION;
    } else {
        result = ::RegSetValueExW(key.Get(), kValueName, 0, REG_SZ,
                                  reinterpret_cast<const BYTE *>(wide.c_str()),
                                  DWORD((wide.size() + 1) * sizeof(wchar_t)));
    }
    if (result != ERROR_SUCCESS && failure.isEmpty())
        failure = QStringLiteral("Failed to write the value \"") +
                  QString::fromLatin1(kDeviceNameValue) +
                  QStringLiteral("\" to the registry key ") + StoredNameFile(scope) +
                  QStringLiteral(" (") + SystemMessage(result) +
                  QStringLiteral("): the setting could not be saved.");
    return true;
}
