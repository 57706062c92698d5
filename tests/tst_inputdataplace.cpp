// Where "Input by File" reads: the folder rule and the facts it is fed from the file system.
#include "inputdatafile.h"

#include <QtTest>

class TestInputDataPlace : public QObject
{
    Q_OBJECT

private slots:
    void rule_data()
    {
        QTest::addColumn<QString>("explicitPath");
        QTest::addColumn<bool>("fileThere");
        QTest::addColumn<bool>("writable");
        QTest::addColumn<bool>("installFolder");
        QTest::addColumn<QString>("expected");
        const QString exe = "/opt/kv/bin/kv7320InputData.txt";
        const QString user = "/home/u/.local/share/kv7320ev/kv7320InputData.txt";
        QTest::newRow("build tree") << "" << false << true << false << exe;
        QTest::newRow("read-only folder") << "" << false << false << false << user;
        QTest::newRow("read-only folder, file there") << "" << true << false << false << exe;
        QTest::newRow("installed, run as root") << "" << false << true << true << user;
        QTest::newRow("installed, file there") << "" << true << false << true << exe;
        QTest::newRow("option over file there")
            << "/tmp/in.txt" << true << true << false << "/tmp/in.txt";
        QTest::newRow("option over read-only")
            << "/tmp/in.txt" << false << false << true << "/tmp/in.txt";
    }
    void rule()
    {
        QFETCH(QString, explicitPath);
        QFETCH(bool, fileThere);
        QFETCH(bool, writable);
        QFETCH(bool, installFolder);
        QFETCH(QString, expected);
        InputDataPlace place;
        place.explicitPath = explicitPath;
        place.executableFolder = "/opt/kv/bin";
        place.fileInExecutableFolder = fileThere;
        place.executableFolderWritable = writable;
        place.executableFolderIsInstallFolder = installFolder;
        place.userFolder = "/home/u/.local/share/kv7320ev";
        QCOMPARE(chooseInputDataPath(place), expected);
    }

    // The facts come from the file system and the environment, as the program sees them.
    void fromFileSystem()
    {
        QTemporaryDir exe, data;
        QVERIFY(exe.isValid() && data.isValid());
        qputenv("XDG_DATA_HOME", data.path().toUtf8());
        const QString name = QString::fromLatin1(kInputDataFileName);

        // A folder the user can write, such as a build tree.
        QCOMPARE(inputDataPath(QString(), exe.path()), QDir(exe.path()).filePath(name));
        // A folder that does not exist cannot be written: the user's data folder.
        const QString gone = exe.filePath("gone");
        QCOMPARE(inputDataPath(QString(), gone), data.filePath("kv7320ev/" + name));

        // --input-file: relative to the current folder, cleaned, whatever is beside the program.
        const QString previous = QDir::currentPath();
        QVERIFY(QDir::setCurrent(data.path()));
        const QString given = inputDataPath(QStringLiteral("sub/../steer.txt"), exe.path());
        QVERIFY(QDir::setCurrent(previous));
        QCOMPARE(given, QDir(data.path()).filePath("steer.txt"));
        qunsetenv("XDG_DATA_HOME");
    }
};

QTEST_GUILESS_MAIN(TestInputDataPlace)
#include "tst_inputdataplace.moc"
