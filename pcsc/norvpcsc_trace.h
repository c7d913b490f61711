// The PC/SC calls of the library, each logged with its arguments, its
// result and the bytes it carries when the environment variable
// NORVANE_PCSC_TRACE names "stderr" or a file (appended to).  Same
// signatures as pcsc-lite's; without the variable each is the bare call.
#pragma once

#include <winscard.h>

namespace norvpcsc::pcsc {

LONG SCardEstablishContext(DWORD scope, LPCVOID reserved1, LPCVOID reserved2, LPSCARDCONTEXT context);
LONG SCardReleaseContext(SCARDCONTEXT context);
LONG SCardIsValidContext(SCARDCONTEXT context);
LONG SCardListReaders(SCARDCONTEXT context, LPCSTR groups, LPSTR readers, LPDWORD size);
LONG SCardGetStatusChange(SCARDCONTEXT context, DWORD timeoutMs, SCARD_READERSTATE *states, DWORD count);
LONG SCardCancel(SCARDCONTEXT context);
LONG SCardConnect(SCARDCONTEXT context, LPCSTR reader, DWORD shareMode, DWORD preferredProtocols,
                  LPSCARDHANDLE card, LPDWORD activeProtocol);
LONG SCardReconnect(SCARDHANDLE card, DWORD shareMode, DWORD preferredProtocols, DWORD initialization,
                    LPDWORD activeProtocol);
LONG SCardDisconnect(SCARDHANDLE card, DWORD disposition);
LONG SCardStatus(SCARDHANDLE card, LPSTR readerName, LPDWORD readerLength, LPDWORD state,
                 LPDWORD protocol, LPBYTE atr, LPDWORD atrLength);
LONG SCardTransmit(SCARDHANDLE card, const SCARD_IO_REQUEST *sendPci, LPCBYTE command,
                   DWORD commandLength, SCARD_IO_REQUEST *receivePci, LPBYTE answer,
                   LPDWORD answerLength);
LONG SCardGetAttrib(SCARDHANDLE card, DWORD id, LPBYTE value, LPDWORD length);

} // namespace norvpcsc::pcsc
