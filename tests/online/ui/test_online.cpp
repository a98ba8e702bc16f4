// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/ui/MainWindow.h"
#include "app/ui/StartPage.h"
#include "document/PairedDocument.h"
#include "document/ui/KelvoEdit.h"
#include "online/ServerConstants.h"
#include "online/HtmlReducer.h"
#include "online/UpdateCheck.h"
#include "online/ui/SponsorView.h"
#include "online/ui/UpdateManager.h"
#include "ui_MainWindow.h"

#include "support/TestSupport.h"

#include <QAbstractTextDocumentLayout>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QHash>
#include <QImage>
#include <QNetworkReply>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTextBrowser>
#include <QTextDocument>
#include <QtTest>

namespace {

// A tiny HTTP server on 127.0.0.1 answering GET paths with canned replies.
// Unknown paths get 404; every request is recorded.
class LocalServer : public QObject
{
public:
    struct Reply
    {
        int status = 200;
        QByteArray body;
    };

    LocalServer()
    {
        QVERIFY(m_server.listen(QHostAddress::LocalHost));
        connect(&m_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *socket = m_server.nextPendingConnection()) {
                socket->setParent(this);
                connect(socket, &QTcpSocket::readyRead, this, [this, socket] { serve(socket); });
            }
        });
    }

    QString base() const
    {
        return QStringLiteral("http://127.0.0.1:%1").arg(m_server.serverPort());
    }

    QHash<QByteArray, Reply> replies;
    QList<QByteArray> paths;
    QList<QByteArray> contentTypes;

private:
    void serve(QTcpSocket *socket)
    {
        QByteArray &request = m_pending[socket];
        request += socket->readAll();
        if (request.size() > 64 * 1024) {
            socket->abort();
            return;
        }
        const int end = request.indexOf("\r\n\r\n");
        if (end < 0)
            return;
        const QList<QByteArray> lines = request.left(end).split('\n');
        const QByteArray path = lines.value(0).split(' ').value(1);
        QByteArray type;
        for (const QByteArray &line : lines)
            if (line.toLower().startsWith("content-type:"))
                type = line.mid(13).trimmed();
        paths << path;
        contentTypes << type;
        const Reply reply = replies.value(path, Reply{404, "missing"});
        socket->write("HTTP/1.1 " + QByteArray::number(reply.status) + " X\r\n"
                      "Content-Type: text/plain; charset=utf-8\r\n"
                      "Content-Length: " + QByteArray::number(reply.body.size()) + "\r\n"
                      "Connection: close\r\n\r\n" + reply.body);
        socket->disconnectFromHost();
        m_pending.remove(socket);
    }

    QTcpServer m_server;
    QHash<QTcpSocket *, QByteArray> m_pending;
};

const QByteArray UpdatePath = "/update_check.json";
const QByteArray SponsorPath = "/sponsor.html";
const int Wait = 5000;

QString cacheFile()
{
    return ServerConstants::instance()->sponsorCacheFile;
}

void writeCache(const QByteArray &html)
{
    QDir().mkpath(QFileInfo(cacheFile()).path());
    QFile file(cacheFile());
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(html);
}

QByteArray readCache()
{
    QFile file(cacheFile());
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<none>");
}

// True once the window's sponsor request has finished and been cleaned up.
bool sponsorRequestDone(MainWindow &w)
{
    return w.findChildren<QNetworkReply *>().isEmpty();
}

} // namespace

// The start-up exchanges against a local server: the update manifest and
// its notice, the forced update through the close prompts, the sponsor page
// and its cache, and the sponsor view that neither fetches nor navigates.
class TestOnline : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { initTestApplication(); }
    void init();
    void cleanup();

    void isNewer_data();
    void isNewer();
    void updateNotice();
    void updateCheck_data();
    void updateCheck();
    void browserFailureShowsAddress();
    void forcedUpdateRunsClosePrompts_data();
    void forcedUpdateRunsClosePrompts();
    void sponsorPage_data();
    void sponsorPage();
    void offlineMakesNoRequest();
    void sponsorViewFetchesNothing();
    void sponsorLinksOpenInBrowser();
    void reduceHtml_data();
    void reduceHtml();
    void hostileHtml_data();
    void hostileHtml();
    void hostileCacheAtStart();

private:
    // Points both bases at the server (or at a closed port without one).
    void pointAt(const QString &base);

    TestEnvironment *m_env = nullptr;
    LocalServer *m_server = nullptr;
};

void TestOnline::init()
{
    m_env = new TestEnvironment;
    m_server = new LocalServer;
    qunsetenv("KELVO_OFFLINE");
    pointAt(m_server->base());
}

void TestOnline::cleanup()
{
    delete m_server;
    m_server = nullptr;
    delete m_env;
    m_env = nullptr;
    qputenv("KELVO_OFFLINE", "1");
    qunsetenv("KELVO_API_BASE");
    qunsetenv("KELVO_WEB_BASE");
    ServerConstants::reset();
}

void TestOnline::pointAt(const QString &base)
{
    qputenv("KELVO_API_BASE", base.toUtf8());
    qputenv("KELVO_WEB_BASE", (base + QStringLiteral("/web")).toUtf8());
    ServerConstants::reset();
}

void TestOnline::isNewer_data()
{
    QTest::addColumn<QString>("announced");
    QTest::addColumn<bool>("newer");
    QTest::newRow("same") << "2.1" << false;
    QTest::newRow("2.10") << "2.10" << false;
    QTest::newRow("2.2") << "2.2" << true;
    QTest::newRow("whole number") << "3" << true;
    QTest::newRow("spaces") << " 3.0 " << true;
    QTest::newRow("older") << "2.09" << false;
    QTest::newRow("empty") << "" << false;
    QTest::newRow("dotted") << "2.1.1" << false;
    // Numbers toDouble would take but no plain decimal version is.
    QTest::newRow("exponent") << "1e3" << false;
    QTest::newRow("infinity") << "inf" << false;
    QTest::newRow("not a number") << "nan" << false;
    QTest::newRow("signed") << "+3" << false;
    QTest::newRow("hex") << "0x10" << false;
    QTest::newRow("overflow") << QString(400, QLatin1Char('9')) << false;
}

void TestOnline::isNewer()
{
    QFETCH(QString, announced);
    QFETCH(bool, newer);
    QCOMPARE(UpdateManager::isNewer(announced, QStringLiteral("2.1")), newer);
}

void TestOnline::updateNotice()
{
    // The notice carries its texts and the site, without any widget.
    ServerConstants constants;
    constants.fill();
    UpdateNotice notice;
    QVERIFY(UpdateCheck::readManifest(R"({"version":"3.0","force":true})", constants, &notice));
    QCOMPARE(notice.title, QStringLiteral("更新提示"));
    QCOMPARE(notice.text, QStringLiteral("有新版本可用，请更新！"));
    QCOMPARE(notice.site, QUrl(m_server->base() + QStringLiteral("/web/")));
    QCOMPARE(notice.browserFailedText, QStringLiteral("无法打开下载链接，请到官网下载：")
                                           + m_server->base() + QStringLiteral("/web/！"));
    QVERIFY(notice.force);
}

void TestOnline::updateCheck_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<bool>("notice");
    QTest::addColumn<bool>("closes");

    QTest::newRow("same") << 200 << QByteArray(R"({"version":"2.1"})") << false << false;
    QTest::newRow("2.10 equals 2.1")
        << 200 << QByteArray(R"({"version":"2.10","force":true})") << false << false;
    QTest::newRow("newer") << 200 << QByteArray(R"({"version":"3.0"})") << true << false;
    QTest::newRow("newer, force false")
        << 200 << QByteArray(R"({"version":"3.0","force":false})") << true << false;
    QTest::newRow("newer, forced")
        << 200 << QByteArray(R"({"version":"3.0","force":true})") << true << true;
    QTest::newRow("JSON number")
        << 200 << QByteArray(R"({"version":3.0,"force":true})") << false << false;
    QTest::newRow("dotted") << 200 << QByteArray(R"({"version":"2.1.1"})") << false << false;
    QTest::newRow("malformed") << 200 << QByteArray(R"({"version":"3.0")") << false << false;
    QTest::newRow("array") << 200 << QByteArray(R"(["3.0"])") << false << false;
    QTest::newRow("server error")
        << 500 << QByteArray(R"({"version":"3.0","force":true})") << false << false;
}

void TestOnline::updateCheck()
{
    QFETCH(int, status);
    QFETCH(QByteArray, body);
    QFETCH(bool, notice);
    QFETCH(bool, closes);

    m_server->replies[UpdatePath] = {status, body};
    QWidget window;
    window.show();
    UpdateManager manager;
    manager.setWindow(&window);
    QSignalSpy spy(&manager, &UpdateManager::dataSubmitted);
    manager.checkForUpdate();
    QTRY_COMPARE_WITH_TIMEOUT(spy.count(), 1, Wait);

    QCOMPARE(m_server->paths, QList<QByteArray>{UpdatePath});
    QCOMPARE(m_server->contentTypes.value(0), QByteArray("application/x-www-form-urlencoded"));
    QCOMPARE(spy.at(0).at(0).toBool(), status == 200);
    if (status == 200)
        QCOMPARE(spy.at(0).at(1).toString(), QString::fromUtf8(body));

    ScriptedDialogs &dialogs = m_env->dialogs();
    if (!notice) {
        QVERIFY(dialogs.requests.isEmpty());
    } else {
        QCOMPARE(dialogs.requests.size(), 2);
        QCOMPARE(dialogs.requests[0].kind, DialogRequest::Information);
        QCOMPARE(dialogs.requests[0].title, QStringLiteral("更新提示"));
        QCOMPARE(dialogs.requests[0].text, QStringLiteral("有新版本可用，请更新！"));
        QCOMPARE(dialogs.requests[1].kind, DialogRequest::OpenUrl);
        QCOMPARE(dialogs.requests[1].url, QUrl(m_server->base() + QStringLiteral("/web/")));
    }
    if (closes)
        QTRY_VERIFY_WITH_TIMEOUT(!window.isVisible(), Wait);
    else
        QVERIFY(window.isVisible());
}

void TestOnline::browserFailureShowsAddress()
{
    m_server->replies[UpdatePath] = {200, R"({"version":"2.2"})"};
    ScriptedDialogs &dialogs = m_env->dialogs();
    dialogs.queueButton(QMessageBox::Ok);
    DialogAnswer refused;
    refused.ok = false;
    dialogs.queue(refused);
    UpdateManager manager;
    QSignalSpy spy(&manager, &UpdateManager::dataSubmitted);
    manager.checkForUpdate();
    QTRY_COMPARE_WITH_TIMEOUT(spy.count(), 1, Wait);

    QCOMPARE(dialogs.requests.size(), 3);
    QCOMPARE(dialogs.requests[2].title, QStringLiteral("更新提示"));
    QCOMPARE(dialogs.requests[2].text, QStringLiteral("无法打开下载链接，请到官网下载：")
                                           + m_server->base() + QStringLiteral("/web/！"));
}

void TestOnline::forcedUpdateRunsClosePrompts_data()
{
    QTest::addColumn<int>("answer");
    QTest::addColumn<bool>("staysOpen");
    QTest::newRow("cancel keeps the program") << int(QMessageBox::Cancel) << true;
    QTest::newRow("no closes it") << int(QMessageBox::No) << false;
}

void TestOnline::forcedUpdateRunsClosePrompts()
{
    QFETCH(int, answer);
    QFETCH(bool, staysOpen);

    m_server->replies[UpdatePath] = {200, R"({"version":"9.0","force":true})"};
    ScriptedDialogs &dialogs = m_env->dialogs();
    dialogs.queueButton(QMessageBox::Ok); // the notice
    dialogs.queue(DialogAnswer());        // the browser opens
    dialogs.queueButton(QMessageBox::StandardButton(answer));

    MainWindow w;
    w.show();
    w.newAction();
    w.currentEditor()->document()->setModified(true);
    QTRY_COMPARE_WITH_TIMEOUT(dialogs.requests.size(), 3, Wait);

    QCOMPARE(dialogs.requests[2].kind, DialogRequest::Warning);
    QTRY_COMPARE_WITH_TIMEOUT(w.isVisible(), staysOpen, Wait);
    QCOMPARE(w.form()->tabWidget->count(), staysOpen ? 1 : 0);
}

void TestOnline::sponsorPage_data()
{
    QTest::addColumn<QByteArray>("cached"); // null: no cache file
    QTest::addColumn<bool>("serverUp");
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("served");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QByteArray>("cacheAfter");

    const QByteArray none("<none>");
    QTest::newRow("first start")
        << QByteArray() << true << 200 << QByteArray("<p>新页</p>") << "新页"
        << QByteArray("<p>新页</p>");
    QTest::newRow("changed page waits for the next start")
        << QByteArray("<p>旧页</p>") << true << 200 << QByteArray("<p>新页</p>") << "旧页"
        << QByteArray("<p>新页</p>");
    QTest::newRow("empty page keeps the cache")
        << QByteArray("<p>旧页</p>") << true << 200 << QByteArray() << "旧页"
        << QByteArray("<p>旧页</p>");
    QTest::newRow("server error")
        << QByteArray("<p>旧页</p>") << true << 500 << QByteArray("<p>错误</p>") << "旧页"
        << QByteArray("<p>旧页</p>");
    QTest::newRow("offline with cache")
        << QByteArray("<p>旧页</p>") << false << 0 << QByteArray() << "旧页"
        << QByteArray("<p>旧页</p>");
    QTest::newRow("only the reduced page is cached")
        << QByteArray() << true << 200
        << QByteArray("<p onclick=\"x()\">新页<script>alert(1)</script></p>") << "新页"
        << QByteArray("<p>新页</p>");
    QTest::newRow("offline without cache")
        << QByteArray() << false << 0 << QByteArray() << "" << none;
    QTest::newRow("first start, empty page")
        << QByteArray() << true << 200 << QByteArray() << "" << none;
}

void TestOnline::sponsorPage()
{
    QFETCH(QByteArray, cached);
    QFETCH(bool, serverUp);
    QFETCH(int, status);
    QFETCH(QByteArray, served);
    QFETCH(QString, shown);
    QFETCH(QByteArray, cacheAfter);

    if (!cached.isNull())
        writeCache(cached);
    if (serverUp) {
        m_server->replies[SponsorPath] = {status, served};
    } else {
        // Nothing listens on the port once the server is gone.
        const QString base = m_server->base();
        delete m_server;
        m_server = nullptr;
        pointAt(base);
    }

    MainWindow w;
    QTextDocument cachedPage;
    cachedPage.setHtml(QString::fromUtf8(cached));
    QCOMPARE(w.sponsorBrowser()->toPlainText(), cachedPage.toPlainText());
    QCOMPARE(w.startPage()->isHidden(), !cached.isEmpty());
    QTRY_VERIFY_WITH_TIMEOUT(sponsorRequestDone(w), Wait);
    QCOMPARE(w.sponsorBrowser()->toPlainText().remove(QLatin1Char('\n')),
             shown);
    // The start page stands in exactly while the sponsor page has no words.
    QCOMPARE(w.startPage()->isHidden(), !shown.isEmpty());
    QCOMPARE(w.sponsorBrowser()->isHidden(), shown.isEmpty());
    QCOMPARE(readCache(), cacheAfter);
    QVERIFY(m_env->dialogs().requests.isEmpty());
}

void TestOnline::offlineMakesNoRequest()
{
    writeCache("<p>旧页</p>");
    m_server->replies[SponsorPath] = {200, "<p>新页</p>"};
    m_server->replies[UpdatePath] = {200, R"({"version":"9.0","force":true})"};
    qputenv("KELVO_OFFLINE", "1");

    MainWindow w;
    w.show();
    QVERIFY(sponsorRequestDone(w));
    QTest::qWait(200);
    QVERIFY(m_server->paths.isEmpty());
    QCOMPARE(w.sponsorBrowser()->toPlainText(), QStringLiteral("旧页"));
    QVERIFY(m_env->dialogs().requests.isEmpty());
}

void TestOnline::sponsorViewFetchesNothing()
{
    // A bright local image, referenced by path, by file address and from
    // the network: none of them may be read or requested.
    const QString image = QDir(m_env->dataDir()).filePath(QStringLiteral("red.png"));
    QImage red(120, 120, QImage::Format_RGB32);
    red.fill(Qt::red);
    QVERIFY(red.save(image));
    QFile png(image);
    QVERIFY(png.open(QIODevice::ReadOnly));
    m_server->replies["/red.png"] = {200, png.readAll()};
    const QString html =
        QStringLiteral("<p>赞助</p><img src=\"%1\"><img src=\"%2\"><img src=\"%3/red.png\">"
                       "<link rel=\"stylesheet\" href=\"%3/style.css\">"
                       "<img src=\"file:///etc/passwd\">")
            .arg(image, QUrl::fromLocalFile(image).toString(), m_server->base());
    writeCache(html.toUtf8());
    m_server->replies[SponsorPath] = {200, html.toUtf8()};

    MainWindow w;
    w.resize(800, 600);
    w.show();
    QTRY_VERIFY_WITH_TIMEOUT(sponsorRequestDone(w), Wait);
    const QImage shot = w.sponsorBrowser()->viewport()->grab().toImage();
    int redPixels = 0;
    for (int y = 0; y < shot.height(); ++y)
        for (int x = 0; x < shot.width(); ++x)
            redPixels += shot.pixelColor(x, y) == QColor(Qt::red);
    QCOMPARE(redPixels, 0);
    QTest::qWait(100);
    m_server->paths.removeAll(UpdatePath);
    QCOMPARE(m_server->paths, QList<QByteArray>{SponsorPath});
}

void TestOnline::sponsorLinksOpenInBrowser()
{
    writeCache("<a href=\"https://sponsor.kelvo.example/x\">赞助</a>");
    qputenv("KELVO_OFFLINE", "1");
    MainWindow w;
    QTextBrowser *view = w.sponsorBrowser();
    const QString before = view->toHtml();

    emit view->anchorClicked(QUrl(QStringLiteral("https://sponsor.kelvo.example/x")));
    emit view->anchorClicked(QUrl(QStringLiteral("file:///usr/bin/xterm")));

    const QList<DialogRequest> &requests = m_env->dialogs().requests;
    QCOMPARE(requests.size(), 1);
    QCOMPARE(requests[0].kind, DialogRequest::OpenUrl);
    QCOMPARE(requests[0].url, QUrl(QStringLiteral("https://sponsor.kelvo.example/x")));
    QVERIFY(!view->openLinks());
    QCOMPARE(view->toHtml(), before);
}

void TestOnline::reduceHtml_data()
{
    QTest::addColumn<QByteArray>("page");
    QTest::addColumn<QString>("reduced");

    QTest::newRow("plain page unchanged")
        << QByteArray("<h2 align=\"center\">赞助</h2><p>感谢 <a href=\"https://s.example/x?a=1&amp;b=2\">"
                      "<b>某某</b></a></p><ul><li>一</li><li>二</li></ul>")
        << "<h2 align=\"center\">赞助</h2><p>感谢 <a href=\"https://s.example/x?a=1&amp;b=2\">"
           "<b>某某</b></a></p><ul><li>一</li><li>二</li></ul>";
    QTest::newRow("document shell, scripts and styles dropped")
        << QByteArray("<!DOCTYPE html><html><head><title>T</title><style>p{}</style></head>"
                      "<body><!-- c --><p style=\"font-size:900px\">a</p><script>b</script>"
                      "<iframe src=x>c</iframe><noscript>d</noscript></body></html>")
        << "<p>a</p>";
    QTest::newRow("only web links")
        << QByteArray("<a href=\"javascript:alert(1)\">j</a> <a href=\"file:///etc/passwd\">f</a> "
                      "<a href=\"data:text/html,x\">d</a> <a href=' HTTP://s.example '>h</a>")
        << "j f d <a href=\"HTTP://s.example\">h</a>";
    QTest::newRow("entities")
        << QByteArray("&lt;b&gt; &amp; &#x4E2D;&#25991; &copy; &bogus; &#0; &#xD800; a&b")
        << QString::fromUtf8("&lt;b&gt; &amp; 中文 © &amp;bogus; \xEF\xBF\xBD \xEF\xBF\xBD a&amp;b");
    QTest::newRow("tables and divisions become lines")
        << QByteArray("<table><tr><td>a</td><td>b</td></tr><tr><td>c</td></tr></table><div>d</div>")
        << "a b<br>c<br>d";
    QTest::newRow("unclosed markup closed")
        << QByteArray("<p><b><i>x<p>y<ul><li>z") << "<p><b><i>x</i></b></p><p>y</p><ul><li>z</li></ul>";
    QTest::newRow("nesting capped")
        << QByteArray("<ul><li><ul><li><ul><li>3</li></ul></li></ul></li></ul>"
                      "<p><b><i><u><span><small>6</small></span></u></i></b></p>")
        << "<ul><li><ul><li>3</li></ul></li></ul><p><b><i><u><span>6</span></u></i></b></p>";
    QTest::newRow("long word broken")
        << QByteArray(45, 'w') << QString(40, QLatin1Char('w')) + QChar(0x200B) + QString(5, QLatin1Char('w'));
    QTest::newRow("unterminated tag ends the page")
        << QByteArray("a<p title=\"bc") << "a";
    QTest::newRow("no text dropped") << QByteArray("<img src=x><div><br></div>") << QString();
}

void TestOnline::reduceHtml()
{
    QFETCH(QByteArray, page);
    QFETCH(QString, reduced);
    QCOMPARE(HtmlReducer::reduce(page), reduced);
}

void TestOnline::hostileHtml_data()
{
    QTest::addColumn<QString>("file");
    const QDir dir(QStringLiteral(KELVO_SPONSOR_PAGES));
    const QStringList files = dir.entryList({QStringLiteral("*.html")}, QDir::Files);
    QVERIFY(files.size() >= 8);
    for (const QString &name : files)
        QTest::newRow(qPrintable(name)) << dir.filePath(name);
}

// Each hostile page reduces to something small and flat that the view
// lays out at once. The bounds are generous: the figures are in the bench.
void TestOnline::hostileHtml()
{
    QFETCH(QString, file);
    QFile in(file);
    QVERIFY(in.open(QIODevice::ReadOnly));
    const QByteArray page = in.readAll();

    QElapsedTimer timer;
    timer.start();
    const QString reduced = HtmlReducer::reduce(page);
    // Only catches a hang: the 200 ms figure is measured by bench_sponsor,
    // and sanitizer or loaded CI builds run several times slower.
    QVERIFY2(timer.elapsed() < 5000, qPrintable(QString::number(timer.elapsed())));
    QVERIFY(reduced.size() <= HtmlReducer::MaxOutputChars);
    QCOMPARE(HtmlReducer::reduce(reduced.toUtf8()), reduced);

    SponsorView view;
    view.resize(600, 400);
    timer.start();
    view.setHtml(reduced);
    const QSizeF size = view.document()->documentLayout()->documentSize();
    QVERIFY2(timer.elapsed() < 5000, qPrintable(QString::number(timer.elapsed())));
    QVERIFY(view.document()->idealWidth() <= size.width());
    QVERIFY(!view.toHtml().contains(QLatin1String("javascript")));
    QVERIFY(!view.toPlainText().contains(QLatin1String("alert")));
}

void TestOnline::hostileCacheAtStart()
{
    // Written by an older version that cached what the server sent.
    QFile deep(QStringLiteral(KELVO_SPONSOR_PAGES "/deep-table-3000.html"));
    QVERIFY(deep.open(QIODevice::ReadOnly));
    writeCache(deep.readAll());
    qputenv("KELVO_OFFLINE", "1");
    MainWindow w;
    w.show();
    QCOMPARE(w.sponsorBrowser()->toPlainText(), QStringLiteral("x"));
}

QTEST_MAIN(TestOnline)
#include "test_online.moc"
