#include "uLibraryTrace.h"

#include "uQarnDyn.h"

#include <QString>

Q_LOGGING_CATEGORY(lcLibrary, "qarndiag.library", QtWarningMsg)

namespace {

QString Text(const std::string &text)
{
    return QString::fromLocal8Bit(text.data(), qsizetype(text.size()));
}

void TraceCall(const std::string &call, int status, uint64_t nanoseconds)
{
    qCDebug(lcLibrary).noquote() << Text(call) << QStringLiteral("->") << status
                                 << QStringLiteral("(%1 ms)").arg(double(nanoseconds) / 1e6, 0, 'f',
                                                                  3);
}

} // namespace

void StartLibraryTrace()
{
    if (!lcLibrary().isDebugEnabled()) {
        DynSetCallTracer(nullptr);
        return;
    }
    const TLibraryLoadRecord &record = DynGetLoadRecord();
    for (const TLibraryCandidate &candidate : record.search)
        qCDebug(lcLibrary).noquote()
            << QStringLiteral("looked for") << Text(DynCandidateText(candidate));
    for (const std::string &name : record.missingEntryPoints)
        qCDebug(lcLibrary).noquote() << QStringLiteral("missing entry point") << Text(name);
    DynSetCallTracer(&TraceCall);
}
