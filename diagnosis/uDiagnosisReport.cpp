#include "uDiagnosisReport.h"

#include <QJsonArray>

namespace {

// Every item one line: the value may come from outside.
QString Line(const char *label, const QString &value)
{
    return QString::fromLatin1(label) + QStringLiteral(" : ") + OneLineText(value);
}

QString DeviceText(const QByteArray &name) { return LibraryText(ConnectionDeviceName(name)); }

QString StatusText(const QString &message, TQarnStatus status)
{
    return message + QStringLiteral(" (status ") + QString::number(int(status)) + QLatin1Char(')');
}

const char *PlaceKey(TStoredPlace place)
{
    switch (place) {
    case TStoredPlace::PerUser: return "per-user";
    case TStoredPlace::MachineWide: return "machine-wide";
    case TStoredPlace::Unreadable: return "unreadable";
    case TStoredPlace::Nothing: break;
    }
    return "nothing";
}

QJsonValue Average(const TEchoAverage &average)
{
    return average.measured ? QJsonValue(qint64(average.milliseconds)) : QJsonValue();
}

// The value when it is there, else null.
QJsonValue Optional(bool present, const QJsonValue &value)
{
    return present ? value : QJsonValue();
}

QJsonObject CardJson(const TCardPoll &poll)
{
    return {{QStringLiteral("status"), int(poll.status)}, {QStringLiteral("line"), poll.line}};
}

} // namespace

QString VersionLine() { return Line("QarnDiag version", ProgramVersion()); }

QStringList LibraryLines(const std::optional<TLibraryCheck> &library)
{
    if (!library)
        return {Line("Norvane library", QStringLiteral("not checked yet"))};
    QStringList lines;
    if (!library->Available()) {
        lines << Line("Norvane library", library->StartupMessage());
        if (!library->path.isEmpty())
            lines << Line("Norvane library location", library->path);
    } else {
        lines << Line("Norvane library version", library->version)
              << Line("Norvane library location", library->path);
    }
    for (const TLibraryCandidate &candidate : library->record.search)
        lines << Line("Norvane library search", LibraryText(DynCandidateText(candidate)));
    if (!library->record.missingEntryPoints.empty())
        lines << Line("Norvane library missing entry points",
                      library->MissingEntryPoints().join(QStringLiteral(", ")));
    return lines;
}

QStringList DeviceLines(const QByteArray &choice, const TStoredDeviceChoice &stored)
{
    QString where = QStringLiteral("nothing stored");
    if (stored.place == TStoredPlace::PerUser)
        where = QStringLiteral("per user (") + LibraryText(stored.name) + QLatin1Char(')');
    else if (stored.place == TStoredPlace::MachineWide)
        where = QStringLiteral("machine-wide (") + LibraryText(stored.name) + QLatin1Char(')');
    else if (stored.place == TStoredPlace::Unreadable)
        where = QStringLiteral("unreadable (") + stored.unreadable + QLatin1Char(')');
    return {Line("Device choice", DeviceText(choice)), Line("Device choice stored", where)};
}

QStringList PortLines(const std::vector<TPort> &ports, TQarnStatus status)
{
    QStringList lines;
    for (const TPort &port : ports)
        lines << Line("Port",
                      LibraryText(port.name) + QLatin1Char('=') + LibraryText(port.description));
    if (ports.empty())
        lines << Line("Port", QStringLiteral("none listed"));
    if (status != QARN_OK)
        lines << Line("Port list error", StatusText(StatusMessage(status), status));
    return lines;
}

QStringList UsbReaderLines(const std::vector<TUsbReader> &readers)
{
    QStringList lines;
    for (const TUsbReader &reader : readers)
        lines << Line("USB reader", reader.busPath + QLatin1Char(' ') + reader.vendorId +
                                        QLatin1Char(':') + reader.productId + QLatin1Char(' ') +
                                        reader.interfaceClass + QStringLiteral(" \u2014 ") +
                                        reader.advice);
    if (readers.empty())
        lines << Line("USB reader", QStringLiteral("none seen"));
    return lines;
}

QStringList ConnectionLines(const std::optional<TConnectionTest> &connection)
{
    if (!connection)
        return {Line("Connection test", QStringLiteral("not run"))};
    if (!connection->Passed()) {
        QStringList lines{
            Line("Connection test", QStringLiteral("Failed")),
            Line("Connection error", StatusText(connection->FailureText(), connection->status))};
        if (connection->libraryStatus)
            lines << Line("Reader library status", (QString::number(*connection->libraryStatus) +
                                                    QLatin1Char(' ') + connection->libraryMessage)
                                                       .trimmed());
        return lines;
    }
    QStringList lines{Line("Connection test", QStringLiteral("OK")),
                      Line("Device information", connection->DeviceInformation()),
                      Line("Product name and version", connection->firmware),
                      Line("Chipset info", connection->chipsetHWID),
                      Line("Chipset ID", connection->chipsetSNR),
                      Line("Features", connection->FeatureWordText())};
    for (const QString &feature : connection->FeatureLines())
        lines << Line("Feature list", feature);
    return lines;
}

QStringList BenchmarkLines(const std::optional<TBenchmarkRun> &benchmark)
{
    if (!benchmark)
        return {Line("Benchmark", QStringLiteral("not run"))};
    if (!benchmark->Passed()) {
        QStringList lines{Line("Benchmark", QStringLiteral("Failed"))};
        if (benchmark->echo768Failure)
            lines << Line("Echo of 768 bytes failed with status",
                          QString::number(int(*benchmark->echo768Failure)));
        lines << Line("Benchmark error",
                      StatusText(benchmark->FailureText(), benchmark->ReportStatus()));
        return lines;
    }
    return QStringList{Line("Benchmark", QStringLiteral("OK"))} + benchmark->Lines();
}

QString CardLine(const std::optional<TCardPoll> &card)
{
    return Line("Card", card ? card->line : QStringLiteral("not polled"));
}

QStringList ReportLines(const TDiagnosisReport &report)
{
    QStringList lines{VersionLine()};
    lines << LibraryLines(report.library) << DeviceLines(report.deviceChoice, report.stored);
    if (report.ports)
        lines << PortLines(*report.ports, report.portsStatus);
    lines << UsbReaderLines(report.usbReaders);
    lines << ConnectionLines(report.connection) << BenchmarkLines(report.benchmark)
          << CardLine(report.card);
    return lines;
}

QString ClipboardLineEnd()
{
#ifdef QARN_CLIPBOARD_CRLF
    return QStringLiteral("\r\n");
#else
    return QStringLiteral("\n");
#endif
}

QString ReportText(const TDiagnosisReport &report, const QString &lineEnd)
{
    QString text;
    for (const QString &line : ReportLines(report))
        text += line + lineEnd;
    return text;
}

namespace {

// The JSON sections, each null for a step not run.  Every key of a section
// is there whether the step passed or not; what a failed step did not read
// is null.

QJsonValue LibraryJson(const std::optional<TLibraryCheck> &check)
{
    if (!check)
        return QJsonValue();
    QJsonArray search;
    for (const TLibraryCandidate &candidate : check->record.search)
        search.append(
            QJsonObject{{QStringLiteral("path"), LibraryText(candidate.path)},
                        {QStringLiteral("present"), candidate.present},
                        {QStringLiteral("loaded"), candidate.loaded},
                        {QStringLiteral("error"),
                         Optional(!candidate.error.empty(), LibraryText(candidate.error))}});
    const TLibraryCandidate *refused = check->record.RefusedCopy();
    return QJsonObject{
        {QStringLiteral("available"), check->Available()},
        {QStringLiteral("status"), int(check->status)},
        {QStringLiteral("version"), check->version},
        {QStringLiteral("path"), check->path},
        {QStringLiteral("message"), Optional(!check->Available(), check->StartupMessage())},
        {QStringLiteral("search"), search},
        {QStringLiteral("loadError"),
         Optional(refused, refused ? LibraryText(refused->error) : QString())},
        {QStringLiteral("missingEntryPoints"),
         QJsonArray::fromStringList(check->MissingEntryPoints())}};
}

QJsonObject DeviceJson(const QByteArray &choice, const TStoredDeviceChoice &stored)
{
    return {{QStringLiteral("choice"), DeviceText(choice)},
            {QStringLiteral("stored"), LibraryText(stored.name)},
            {QStringLiteral("storedIn"), QString::fromLatin1(PlaceKey(stored.place))}};
}

QJsonValue PortsJson(const std::optional<std::vector<TPort>> &ports)
{
    if (!ports)
        return QJsonValue();
    QJsonArray list;
    for (const TPort &port : *ports)
        list.append(QJsonObject{{QStringLiteral("name"), LibraryText(port.name)},
                                {QStringLiteral("description"), LibraryText(port.description)}});
    return list;
}

QJsonValue PortsErrorJson(const TDiagnosisReport &report)
{
    if (!report.ports || report.portsStatus == QARN_OK)
        return QJsonValue();
    return QJsonObject{{QStringLiteral("status"), int(report.portsStatus)},
                       {QStringLiteral("message"), StatusMessage(report.portsStatus)}};
}

QJsonArray UsbReadersJson(const std::vector<TUsbReader> &readers)
{
    QJsonArray list;
    for (const TUsbReader &reader : readers)
        list.append(QJsonObject{
            {QStringLiteral("busPath"), reader.busPath},
            {QStringLiteral("vendorId"), reader.vendorId},
            {QStringLiteral("productId"), reader.productId},
            {QStringLiteral("interfaceClass"), reader.interfaceClass},
            {QStringLiteral("driver"), Optional(!reader.driver.isEmpty(), reader.driver)},
            {QStringLiteral("state"), reader.state},
            {QStringLiteral("advice"), reader.advice}});
    return list;
}

QJsonValue ConnectionJson(const std::optional<TConnectionTest> &test)
{
    if (!test)
        return QJsonValue();
    const bool passed = test->Passed();
    return QJsonObject{
        {QStringLiteral("passed"), passed},
        {QStringLiteral("status"), int(test->status)},
        {QStringLiteral("message"), Optional(!passed, test->FailureText())},
        {QStringLiteral("device"), LibraryText(test->device)},
        {QStringLiteral("requestedSettings"), qint64(test->requestedSettings)},
        {QStringLiteral("deviceInformation"), Optional(passed, test->DeviceInformation())},
        {QStringLiteral("deviceText"), Optional(passed, test->deviceText)},
        {QStringLiteral("product"), Optional(passed, test->firmware)},
        {QStringLiteral("chipsetInfo"), Optional(passed, test->chipsetHWID)},
        {QStringLiteral("chipsetId"), Optional(passed, test->chipsetSNR)},
        {QStringLiteral("settings"), Optional(passed, qint64(test->settings))},
        {QStringLiteral("features"), Optional(passed, test->FeatureWordText())},
        {QStringLiteral("featureList"),
         Optional(passed, QJsonArray::fromStringList(test->FeatureLines()))},
        {QStringLiteral("libraryStatus"),
         test->libraryStatus ? QJsonValue(int(*test->libraryStatus)) : QJsonValue()},
        {QStringLiteral("libraryMessage"),
         Optional(test->libraryStatus && !test->libraryMessage.isEmpty(), test->libraryMessage)}};
}

QJsonValue BenchmarkJson(const std::optional<TBenchmarkRun> &run)
{
    if (!run)
        return QJsonValue();
    const bool passed = run->Passed();
    return QJsonObject{
        {QStringLiteral("passed"), passed},
        {QStringLiteral("status"), int(run->ReportStatus())},
        {QStringLiteral("message"), Optional(!passed, run->FailureText())},
        {QStringLiteral("echo768FailureStatus"),
         run->echo768Failure ? QJsonValue(int(*run->echo768Failure)) : QJsonValue()},
        {QStringLiteral("lines"), Optional(passed, QJsonArray::fromStringList(run->Lines()))},
        {QStringLiteral("averageMs"),
         Optional(passed, QJsonObject{{QStringLiteral("128"), Average(run->average128)},
                                      {QStringLiteral("256"), Average(run->average256)},
                                      {QStringLiteral("768"), Average(run->average768)}})}};
}

QJsonValue PollingJson(const std::optional<TPollingRun> &run)
{
    if (!run)
        return QJsonValue();
    QJsonArray changes;
    for (const TCardChange &change : run->changes) {
        QJsonObject object = CardJson(change.poll);
        object[QStringLiteral("elapsedMs")] = change.elapsedMs;
        changes.append(object);
    }
    return QJsonObject{{QStringLiteral("seconds"), run->seconds},
                       {QStringLiteral("interrupted"), run->interrupted},
                       {QStringLiteral("changes"), changes}};
}

} // namespace

QJsonObject ReportJson(const TDiagnosisReport &report)
{
    return {
        {QStringLiteral("qarndiagVersion"), ProgramVersion()},
        {QStringLiteral("library"), LibraryJson(report.library)},
        {QStringLiteral("device"), DeviceJson(report.deviceChoice, report.stored)},
        {QStringLiteral("ports"), PortsJson(report.ports)},
        {QStringLiteral("portsError"), PortsErrorJson(report)},
        {QStringLiteral("usbReaders"), UsbReadersJson(report.usbReaders)},
        {QStringLiteral("connection"), ConnectionJson(report.connection)},
        {QStringLiteral("benchmark"), BenchmarkJson(report.benchmark)},
        {QStringLiteral("card"), report.card ? QJsonValue(CardJson(*report.card)) : QJsonValue()},
        {QStringLiteral("polling"), PollingJson(report.polling)}};
}
