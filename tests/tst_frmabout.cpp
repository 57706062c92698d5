// The About window: version text, the program file's date and its error path, and its
// life as a single instance of the main window's menu.
#include "chargersession.h"
#include "form2.h"
#include "frmabout.h"
#include "frmusb.h"
#include "messages.h"
#include "settings.h"
#include "simulatedcharger.h"
#include "windowplacement.h"

#include <QLabel>
#include <QtTest>

class TestFrmAbout : public QObject
{
    Q_OBJECT

    QStringList messages;
    MessageHandler previous;

    static QString text(QWidget *w, const char *name)
    {
        auto *label = w->findChild<QLabel *>(QString::fromLatin1(name));
        return label ? label->text() : QStringLiteral("<missing>");
    }

private slots:
    void init()
    {
        messages.clear();
        previous = setMessageHandler([this](QWidget *, const QString &t) { messages << t; });
    }
    void cleanup() { setMessageHandler(previous); }

    void executablePath_data()
    {
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("path");
        QTest::newRow("separator added") << "/usr/bin"
                                         << "kv7320ev"
                                         << "/usr/bin/kv7320ev";
        QTest::newRow("root not doubled") << "/"
                                          << "kv7320ev"
                                          << "/kv7320ev";
        QTest::newRow("trailing separator kept single") << "/opt/kv/"
                                                        << "kv"
                                                        << "/opt/kv/kv";
    }
    void executablePath()
    {
        QFETCH(QString, folder);
        QFETCH(QString, name);
        QTEST(ExecutableFilePath(folder, name), "path");
    }

    void texts()
    {
        QTemporaryDir dir;
        const QString program = dir.filePath("kv7320ev");
        QFile file(program);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QVERIFY(file.setFileTime(QDateTime(QDate(2021, 3, 4), QTime(23, 30)),
                                 QFileDevice::FileModificationTime));
        file.close();

        frmAbout about(nullptr, program);
        QCOMPARE(about.windowTitle(), QStringLiteral("About kv7320 Evalution Software"));
        QCOMPARE(text(&about, "Description"), QStringLiteral("kv7320 Evaluation Software"));
        QCOMPARE(text(&about, "RevisionLabel"), QStringLiteral("Version 1.0.1"));
        QCOMPARE(text(&about, "UpdateDate"), QStringLiteral("Last Updated 03/04/2021"));
        QCOMPARE(text(&about, "badpathlabel"), QString());
        QVERIFY(!text(&about, "LegalNotice").isEmpty());
        QCOMPARE(text(&about, "comments"), QString());
        QCOMPARE(about.size(), QSize(twips(6225), twips(3165)));
        QCOMPARE(about.palette().color(QPalette::Window), QColor(Qt::white));
        QCOMPARE(messages, QStringList());
    }

    // The five centred labels span the window less 110 twips each side.
    void labelsCentredInWindow()
    {
        frmAbout about;
        for (const char *name :
             {"Description", "RevisionLabel", "UpdateDate", "LegalNotice", "comments"}) {
            auto *label = about.findChild<QLabel *>(QString::fromLatin1(name));
            QVERIFY2(label, name);
            QCOMPARE(label->x(), twips(110));
            QCOMPARE(label->width(), about.width() - twips(220));
            QVERIFY(label->alignment() & Qt::AlignHCenter);
            QVERIFY2(label->heightForWidth(label->width()) <= label->height(), name);
        }
        QCOMPARE(about.findChild<QLabel *>("badpathlabel")->pos(), QPoint(0, twips(1680)));
    }

    void runningProgramsOwnDate()
    {
        frmAbout about;
        const QDate date = QFileInfo(QCoreApplication::applicationFilePath()).lastModified().date();
        QCOMPARE(text(&about, "UpdateDate"), "Last Updated " + date.toString("MM/dd/yyyy"));
        QCOMPARE(text(&about, "badpathlabel"), QString());
    }

    void unreadableDate_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("error");
        QTest::newRow("no such file") << QDir::tempPath() + "/kv7320ev-not-here"
                                      << "File not found";
        QTest::newRow("no such folder") << "/kv7320ev-no-folder/kv7320ev"
                                        << "Path not found";
    }
    void unreadableDate()
    {
        QFETCH(QString, path);
        frmAbout about(nullptr, path);
        QTEST(text(&about, "badpathlabel"), "error");
        QCOMPARE(text(&about, "UpdateDate"), QStringLiteral("Last Updated 12/30/1899"));
        // The rest of the load step still ran, and the error can be read.
        QCOMPARE(about.windowTitle(), QStringLiteral("About kv7320 Evalution Software"));
        QCOMPARE(text(&about, "RevisionLabel"), QStringLiteral("Version 1.0.1"));
        auto *label = about.findChild<QLabel *>("badpathlabel");
        QVERIFY(label->width() >= label->sizeHint().width());
        QCOMPARE(messages, QStringList());
    }

    // From the menu: one window, not reloaded while open; closing unloads it, and
    // closing the main window closes it.
    void singleInstanceFromMenu()
    {
        QTemporaryDir dir;
        SettingsFile settings(dir.path());
        ChargerSession session(std::make_unique<SimulatedCharger>());
        Form2 form(session, settings);
        form.show();
        QVERIFY(QTest::qWaitForWindowActive(&form));
        form.mnuAbout_Click();
        QPointer<frmAbout> first = form.aboutWindow();
        QVERIFY(first && first->isVisible());
        QVERIFY(QTest::qWaitForWindowActive(first));
        first->findChild<QLabel *>("UpdateDate")->setText(QStringLiteral("kept"));

        form.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&form));
        form.mnuAbout_Click();
        QCOMPARE(form.aboutWindow(), first.data());
        QVERIFY(QTest::qWaitForWindowActive(first));
        QCOMPARE(text(first, "UpdateDate"), QStringLiteral("kept"));

        first->close();
        QTRY_VERIFY(!first);
        form.mnuAbout_Click();
        QPointer<frmAbout> second = form.aboutWindow();
        QVERIFY(second);
        QVERIFY(text(second, "UpdateDate").startsWith("Last Updated "));

        form.close();
        QTRY_VERIFY(!second || !second->isVisible());
    }

    // Esc and Enter close it like its close box; other keys do nothing.
    void keysClose_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<bool>("closes");
        QTest::newRow("Esc") << int(Qt::Key_Escape) << true;
        QTest::newRow("Enter") << int(Qt::Key_Return) << true;
        QTest::newRow("keypad Enter") << int(Qt::Key_Enter) << true;
        QTest::newRow("Space") << int(Qt::Key_Space) << false;
    }
    void keysClose()
    {
        QFETCH(int, key);
        QPointer<frmAbout> about = new frmAbout;
        about->show();
        QVERIFY(QTest::qWaitForWindowActive(about));
        QTest::keyClick(about, Qt::Key(key));
        QFETCH(bool, closes);
        if (closes) {
            QTRY_VERIFY(!about); // unloaded, as by the close box
        } else {
            QVERIFY(about->isVisible());
            delete about;
        }
    }
};

QTEST_MAIN(TestFrmAbout)
#include "tst_frmabout.moc"
