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
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

namespace {

const QString kLibrary = QStringLiteral("libnorvane.so");
const QString kNotLoaded = QStringLiteral(
    "ERROR : norvane.dll not found or can't be loaded. Please run the installation procedure again !");

// Places of the prepared tree: the program and its run path, a folder for
// LD_LIBRARY_PATH, the working directory and a folder below it.
const QStringList kPlaces = {QStringLiteral("prog"), QStringLiteral("prog/runpath"),
                             QStringLiteral("env"), QStringLiteral("work"), QStringLiteral("work/rel")};

bool Copy(const QString &from, const QString &to)
{
    QFile::remove(to);
    return QFile::copy(from, to);
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
        QVERIFY(tree.isValid());
        const QString root = QFileInfo(tree.path()).canonicalFilePath();
        for (const QString &place : kPlaces)
            QVERIFY(QDir().mkpath(root + '/' + place));
        const QString probe = root + QStringLiteral("/prog/probe");
        QVERIFY(Copy(QStringLiteral(QARN_LOADPROBE), probe));
        const QMap<QString, QString> builds = {
            {QStringLiteral("standin"), qarntest::StandInFolder(QStringLiteral("default")) + '/' + kLibrary},
            {QStringLiteral("corrupt"), qarntest::StandInFolder(QStringLiteral("corrupt")) + '/' + kLibrary},
            {QStringLiteral("unresolved"), QStringLiteral(QARN_UNRESOLVED_LIBRARY)}};
        for (const QString &copy : copies) {
            const QStringList parts = copy.split('=');
            QVERIFY2(Copy(builds.value(parts.value(1, QStringLiteral("standin"))),
                          root + '/' + parts[0] + '/' + kLibrary),
                     qPrintable(copy));
        }

        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.remove(QStringLiteral("LD_LIBRARY_PATH"));
        if (libraryPath != QStringLiteral("-"))
            environment.insert(QStringLiteral("LD_LIBRARY_PATH"),
                               QString(libraryPath).replace(QStringLiteral("{T}"), root));
        QProcess process;
        process.setProcessEnvironment(environment);
        process.setWorkingDirectory(root + QStringLiteral("/work"));
        process.start(probe, {});
        QVERIFY(process.waitForFinished(30000));
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(process.exitCode(), 0);
        const QStringList lines = QString::fromLocal8Bit(process.readAllStandardOutput()).split('\n');
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
