// Where the program finds the reader library: its own folder first, then
// the system's search path (run path, LD_LIBRARY_PATH, the loader's cache),
// never the working directory; and what it reports for a file the loader
// refuses.  Each case runs a small program that loads the library as
// QarnDiag does, in prepared folders with its own environment.
#include "qarntest.h"
#include "uQarnDynPlatformLinux.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>

namespace {

const QString kLibrary = QStringLiteral("libnorvane.so");
const QString kNotLoaded = QStringLiteral(
    "ERROR : norvane.dll not found or can't be loaded. Please run the installation procedure again !");

// Places of the prepared tree: the program and its run path, a folder for
// LD_LIBRARY_PATH, the working directory and a folder below it.
const QStringList kPlaces = {QStringLiteral("prog"), QStringLiteral("prog/runpath"),
                             QStringLiteral("env"), QStringLiteral("env2"), QStringLiteral("work"),
                             QStringLiteral("work/rel")};

bool Copy(const QString &from, const QString &to)
{
    QFile::remove(to);
    return QFile::copy(from, to);
}

// The bytes of a build laid out in a prepared tree: the stand-in, a variant,
// a library that the loader refuses, or a stand-in changed so that it needs
// a library that does not exist ("missingdep") or claims to be 32-bit
// ("class32").
QByteArray Build(const QString &name)
{
    const bool changed = name == QStringLiteral("missingdep") || name == QStringLiteral("class32");
    const QString file = name == QStringLiteral("unresolved")
                             ? QStringLiteral(QARN_UNRESOLVED_LIBRARY)
                             : qarntest::StandInFolder(changed || name == QStringLiteral("standin")
                                                           ? QStringLiteral("default")
                                                           : name) + '/' + kLibrary;
    QFile in(file);
    if (!in.open(QIODevice::ReadOnly))
        return QByteArray();
    QByteArray bytes = in.readAll();
    if (name == QStringLiteral("missingdep")) {
        const QByteArray needed("\0libstdc++.so.6\0", 16);
        const int at = bytes.indexOf(needed);
        return at < 0 ? QByteArray() : bytes.replace(at + 1, 14, "libnotthere.so");
    }
    if (name == QStringLiteral("class32"))
        bytes[4] = 1; // EI_CLASS: ELFCLASS32
    return bytes;
}

// Makes the folders of kPlaces in tree and lays out the copies
// (place[=build], the stand-in by default); the tree's full path, empty on
// failure.
QString PrepareTree(const QTemporaryDir &tree, const QStringList &copies)
{
    const QString root = QFileInfo(tree.path()).canonicalFilePath();
    if (!tree.isValid() || !std::all_of(kPlaces.begin(), kPlaces.end(), [&](const QString &place) {
            return QDir().mkpath(root + '/' + place);
        }) || !Copy(QStringLiteral(QARN_LOADPROBE), root + QStringLiteral("/prog/probe")) ||
        !Copy(QStringLiteral(QARN_PROGRAM), root + QStringLiteral("/prog/QarnDiag")))
        return QString();
    for (const QString &copy : copies) {
        const QStringList parts = copy.split('=');
        const QByteArray bytes = Build(parts.value(1, QStringLiteral("standin")));
        QFile out(root + '/' + parts[0] + '/' + kLibrary);
        if (bytes.isEmpty() || !out.open(QIODevice::WriteOnly) || out.write(bytes) != bytes.size())
            return QString();
    }
    return root;
}

// Runs a program of the tree ("probe" or "QarnDiag") with LD_LIBRARY_PATH
// ("-" for unset, {T} for the tree) from the working directory work, with
// nothing stored for the device choice; its output lines, and its exit code.
QStringList Run(const QString &root, const QString &libraryPath, const QString &program = "probe",
                const QStringList &arguments = {}, int *exitCode = nullptr)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("LD_LIBRARY_PATH"));
    if (libraryPath != QStringLiteral("-"))
        environment.insert(QStringLiteral("LD_LIBRARY_PATH"),
                           QString(libraryPath).replace(QStringLiteral("{T}"), root));
    for (const char *name : {"XDG_CONFIG_HOME", "XDG_CONFIG_DIRS"})
        environment.insert(QLatin1String(name), root + QStringLiteral("/work"));
    QProcess process;
    process.setProcessEnvironment(environment);
    process.setWorkingDirectory(root + QStringLiteral("/work"));
    process.start(root + QStringLiteral("/prog/") + program, arguments);
    if (!process.waitForFinished(30000) || process.exitStatus() != QProcess::NormalExit ||
        (!exitCode && process.exitCode() != 0))
        return {QStringLiteral("failed: ") + QString::fromLocal8Bit(process.readAllStandardError())};
    if (exitCode)
        *exitCode = process.exitCode();
    return QString::fromLocal8Bit(process.readAllStandardOutput()).split('\n');
}

} // namespace

class TestLoading : public QObject {
    Q_OBJECT
private slots:
    void loadRules_data()
    {
        // LD_LIBRARY_PATH ("-" for unset; {T} is the prepared tree), the
        // copies laid out as place[=build] (the stand-in by default), and
        // the place whose copy is loaded ("" for none).
        QTest::addColumn<QString>("libraryPath");
        QTest::addColumn<QStringList>("copies");
        QTest::addColumn<QString>("loaded");
        const QStringList everywhere = {"prog", "prog/runpath", "env", "work", "work/rel"};
        const QStringList notBeside = {"prog/runpath", "env", "work", "work/rel"};
        const QStringList planted = {"prog/runpath", "work", "work/rel"};

        QTest::newRow("program folder before LD_LIBRARY_PATH") << "{T}/env" << everywhere << "prog";
        QTest::newRow("LD_LIBRARY_PATH before run path") << "{T}/env" << notBeside << "env";
        QTest::newRow("absolute entry kept beside an empty one") << "{T}/env:" << notBeside << "env";
        QTest::newRow("run path") << "-" << QStringList{"prog/runpath"} << "prog/runpath";
        QTest::newRow("run path after a trailing colon")
            << "/nonexistent:" << QStringList{"prog/runpath"} << "prog/runpath";
        QTest::newRow("unset, working directory holds a copy") << "-" << planted << "prog/runpath";
        QTest::newRow("empty") << "" << planted << "prog/runpath";
        QTest::newRow("dot") << "." << planted << "prog/runpath";
        QTest::newRow("trailing colon") << "{T}/none:" << planted << "prog/runpath";
        QTest::newRow("empty entry between two") << "{T}/none::{T}/none2" << planted << "prog/runpath";
        QTest::newRow("relative entry") << "rel" << planted << "prog/runpath";
        QTest::newRow("only the working directory holds a copy")
            << ".:" << QStringList{"work", "work/rel"} << "";
        QTest::newRow("not a shared library")
            << "{T}/env" << QStringList{"prog=corrupt", "env"} << "";
        QTest::newRow("symbol that does not resolve")
            << "-" << QStringList{"prog=unresolved", "prog/runpath"} << "";
    }
    void loadRules()
    {
        QFETCH(QString, libraryPath);
        QFETCH(QStringList, copies);
        QFETCH(QString, loaded);

        QTemporaryDir tree;
        const QString root = PrepareTree(tree, copies);
        QVERIFY(!root.isEmpty());
        const QStringList lines = Run(root, libraryPath);
        QCOMPARE(lines.size(), 4);

        if (loaded.isEmpty()) {
            QCOMPARE(lines[0], QStringLiteral("-1000"));
            QCOMPARE(lines[1], QString());
            QCOMPARE(lines[2], kNotLoaded);
        } else {
            QCOMPARE(lines[0], QStringLiteral("0"));
            QCOMPARE(lines[1], root + '/' + loaded + '/' + kLibrary);
        }
    }

    void loadRecord_data()
    {
        // LD_LIBRARY_PATH and the copies as above; the places looked at
        // from the program's folder on ({T}: the tree), up to the one
        // loaded; the reason of the copy refused when none was loaded; the
        // entry points missing; the exit status of --check.
        QTest::addColumn<QString>("libraryPath");
        QTest::addColumn<QStringList>("copies");
        QTest::addColumn<QStringList>("search");
        QTest::addColumn<QString>("loadError");
        QTest::addColumn<QStringList>("missing");
        QTest::addColumn<int>("code");
        const QString beside = QStringLiteral("{T}/prog/libnorvane.so (present, not loaded: %1)");
        const QString missingDependency = QStringLiteral(
            "it needs libnotthere.so, which cannot be found (cannot open shared object file: No "
            "such file or directory)");
        const QString class32 = QStringLiteral("it is a 32-bit library, and this program is 64-bit");
        const QString notLibrary = QStringLiteral("it is not a shared library (invalid ELF header)");
        QTest::newRow("missing dependency") << "-" << QStringList{"prog=missingdep"}
            << QStringList{beside.arg(missingDependency)} << missingDependency << QStringList{} << 3;
        QTest::newRow("wrong ELF class") << "-" << QStringList{"prog=class32"}
            << QStringList{beside.arg(class32)} << class32 << QStringList{} << 3;
        QTest::newRow("not a library") << "-" << QStringList{"prog=corrupt"}
            << QStringList{beside.arg(notLibrary)} << notLibrary << QStringList{} << 3;
        QTest::newRow("two entries missing") << "-" << QStringList{"prog=no_Echo_Find"}
            << QStringList{"{T}/prog/libnorvane.so (loaded)"} << QString()
            << QStringList{"NORV_Echo", "NORV_Find"} << 0;
        QTest::newRow("good copy behind a refused one") << "{T}/env:{T}/env2"
            << QStringList{"env=class32", "env2"}
            << QStringList{"{T}/prog/libnorvane.so (not present)",
                           "{T}/env/libnorvane.so (present, not loaded: " + class32 + ")",
                           "{T}/env2/libnorvane.so (loaded)"}
            << QString() << QStringList{} << 0;
    }
    void loadRecord()
    {
        QFETCH(QString, libraryPath);
        QFETCH(QStringList, copies);
        QFETCH(QStringList, search);
        QFETCH(QString, loadError);
        QFETCH(QStringList, missing);
        QFETCH(int, code);
        QTemporaryDir tree;
        const QString root = PrepareTree(tree, copies);
        QVERIFY(!root.isEmpty());
        search.replaceInStrings(QStringLiteral("{T}"), root);

        // The report's lines.
        int exitCode = -1;
        const QStringList lines = Run(root, libraryPath, "QarnDiag", {"--check"}, &exitCode);
        QCOMPARE(exitCode, code);
        QStringList expected;
        for (const QString &place : search)
            expected << QStringLiteral("Norvane library search : ") + place;
        if (!missing.isEmpty())
            expected << QStringLiteral("Norvane library missing entry points : ") + missing.join(", ");
        QCOMPARE(lines.filter(QRegularExpression("^Norvane library (search|missing)")), expected);

        // The same in JSON.
        const QJsonObject library = QJsonDocument::fromJson(
            Run(root, libraryPath, "QarnDiag", {"--check", "--json"}, &exitCode).join('\n').toUtf8())
            .object().value("library").toObject();
        QStringList places;
        for (const QJsonValue &place : library.value("search").toArray()) {
            const QJsonObject o = place.toObject();
            QCOMPARE(o.value("error").isNull(), o.value("loaded").toBool() || !o.value("present").toBool());
            places << o.value("path").toString() +
                          (o.value("loaded").toBool()    ? QStringLiteral(" (loaded)")
                           : o.value("present").toBool() ? " (present, not loaded: " + o.value("error").toString() + ")"
                                                         : QStringLiteral(" (not present)"));
        }
        QCOMPARE(places, search);
        QCOMPARE(library.value("loadError"), loadError.isEmpty() ? QJsonValue() : QJsonValue(loadError));
        QCOMPARE(library.value("missingEntryPoints").toArray(), QJsonArray::fromStringList(missing));
    }

    void loaderCache_data()
    {
        // The cache as the system's ldconfig writes it in a format, cut to
        // a number of bytes (-1: whole); whether the copy is listed.
        QTest::addColumn<QString>("format");
        QTest::addColumn<int>("bytes");
        QTest::addColumn<bool>("listed");
        QTest::newRow("current format") << "new" << -1 << true;
        QTest::newRow("old table first") << "compat" << -1 << true;
        QTest::newRow("header cut") << "new" << 40 << false;
        QTest::newRow("names cut") << "new" << 100 << false;
        QTest::newRow("old table cut") << "compat" << 30 << false;
        QTest::newRow("empty file") << "new" << 0 << false;
    }
    void loaderCache()
    {
        QFETCH(QString, format);
        QFETCH(int, bytes);
        QFETCH(bool, listed);
        const QString ldconfig = QStringLiteral("/sbin/ldconfig");
        if (!QFileInfo(ldconfig).isExecutable())
            QSKIP("no ldconfig to write a cache with");

        QTemporaryDir tree;
        QVERIFY(tree.isValid());
        const QString root = QFileInfo(tree.path()).canonicalFilePath();
        QVERIFY(QDir().mkpath(root + QStringLiteral("/lib")));
        const QString copy = root + QStringLiteral("/lib/") + kLibrary;
        QVERIFY(Copy(qarntest::StandInFolder(QStringLiteral("default")) + '/' + kLibrary, copy));
        QFile conf(root + QStringLiteral("/ld.so.conf"));
        QVERIFY(conf.open(QIODevice::WriteOnly));
        conf.write((root + QStringLiteral("/lib\n")).toLocal8Bit());
        conf.close();
        const QString cache = root + QStringLiteral("/ld.so.cache");
        QProcess process;
        process.start(ldconfig, {QStringLiteral("-X"), QStringLiteral("-c"), format, QStringLiteral("-C"),
                                 cache, QStringLiteral("-f"), conf.fileName()});
        QVERIFY(process.waitForFinished(60000));
        QVERIFY2(process.exitCode() == 0, process.readAllStandardError().constData());
        if (bytes >= 0)
            QVERIFY(QFile::resize(cache, bytes));

        const std::vector<std::string> paths =
            qarn::platform::CachedLibraryPaths(cache.toStdString(), kLibrary.toStdString());
        QCOMPARE(paths, listed ? std::vector<std::string>{copy.toStdString()} : std::vector<std::string>{});
        if (listed)
            QCOMPARE(qarn::platform::CachedLibraryPaths(cache.toStdString(), "libnorvane.so.9"),
                     std::vector<std::string>{});
    }
};

QTEST_GUILESS_MAIN(TestLoading)
#include "tst_loading.moc"
