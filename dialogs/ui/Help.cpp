// SPDX-License-Identifier: GPL-3.0-or-later
#include "dialogs/ui/Help.h"

#include "ui_Help.h"

#include "core/DataPaths.h"
#include "core/SafeWrite.h"
#include "shared/ui/DialogService.h"

#include <QDir>
#include <QFile>
#include <QTextBrowser>
#include <QUrl>

Help::Help(QWidget *parent)
    : QDialog(parent)
    , ui(new Ui::Help)
{
    ui->setupUi(this);
    // Following a web link inside the browser would only blank the page.
    ui->textBrowser->setOpenLinks(false);
    connect(ui->textBrowser, &QTextBrowser::anchorClicked, this, &Help::onLinkClicked);
    ui->textBrowser->setHtml(tr(
        "<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 4.0//EN\" \"http://www.w3.org/TR/REC-html40/strict.dtd\">\n"
        "<html><head><meta charset=\"utf-8\" /><title>曲谱输入法使用教程</title>\n"
        "<style type=\"text/css\">\n"
        "body { font-family: '宋体', sans-serif; font-size: 16px; }\n"
        "th, td { padding: 4px 16px; }\n"
        "</style></head>\n"
        "<body style=\"font-family:'宋体', sans-serif; font-size:16px;\">\n"
        "<p align=\"center\" style=\"font-size:xx-large; font-weight:600;\">曲谱输入法使用教程</p>\n"

        "<p style=\"font-size:x-large; font-weight:600;\">简介</p>\n"
        "<p>当光标位于曲谱编辑区时，程序会自动切换到内置的曲谱输入法，无需借助系统输入法。"
        "输入法按照符号名称的拼音首字母查找工尺谱符号：除普通的工尺字外，还可以输入小字、"
        "带气口的字、带气口的小字，以及板眼符号和各种腔调符号。"
        "输入字母后，候选窗口会出现在光标下方：按数字键选取对应的候选，按空格键、回车键或 Tab 键"
        "确认当前选中的候选；逗号、句号（或上、下方向键）用于翻页，左、右方向键用于移动选择，"
        "Esc 键取消输入。未输入字母时按空格键，输入法会根据前面的板眼提示接下来可能用到的板眼符号。</p>\n"

        "<p style=\"font-size:x-large; font-weight:600;\">输入法拼音字符对应表</p>\n"
        "<table border=\"1\" cellspacing=\"0\" cellpadding=\"4\" style=\"border-collapse:collapse;\">\n"
        "<tr><th>拼音</th><th>曲谱符号</th></tr>\n"
        "<tr><td>h</td><td>合</td></tr>\n"
        "<tr><td>s</td><td>四</td></tr>\n"
        "<tr><td>y</td><td>一</td></tr>\n"
        "<tr><td>s</td><td>上</td></tr>\n"
        "<tr><td>c</td><td>尺</td></tr>\n"
        "<tr><td>g</td><td>工</td></tr>\n"
        "<tr><td>f</td><td>凡</td></tr>\n"
        "<tr><td>l</td><td>六</td></tr>\n"
        "<tr><td>w</td><td>五</td></tr>\n"
        "<tr><td>y</td><td>乙</td></tr>\n"
        "<tr><td>tb</td><td>头板</td></tr>\n"
        "<tr><td>ty/xy</td><td>头眼/小眼</td></tr>\n"
        "<tr><td>zy</td><td>中眼</td></tr>\n"
        "<tr><td>my/xy</td><td>末眼/小眼</td></tr>\n"
        "<tr><td>zb</td><td>赠板</td></tr>\n"
        "<tr><td>yty/cty</td><td>腰头眼/侧头眼</td></tr>\n"
        "<tr><td>yzy/czy</td><td>腰中眼/侧中眼</td></tr>\n"
        "<tr><td>ymy/cmy</td><td>腰末眼/侧末眼</td></tr>\n"
        "<tr><td>db</td><td>底板</td></tr>\n"
        "<tr><td>yzb</td><td>腰赠板</td></tr>\n"
        "<tr><td>dq</td><td>疊腔</td></tr>\n"
        "<tr><td>hq</td><td>豁腔</td></tr>\n"
        "<tr><td>sq</td><td>擻腔</td></tr>\n"
        "</table>\n"

        "<p style=\"font-size:x-large; font-weight:600;\">规则</p>\n"
        "<ul>\n"
        "<li>在拼音首字母后加 u 表示高八度，加 uu 表示高两个八度，"
        "例如 gu（工高八度）、guu（工高十六度）。</li>\n"
        "<li>在拼音首字母后加 d 表示低八度，例如 gd（工低八度）。</li>\n"
        "<li>加 q 表示带气口，例如 gq（工气口）。</li>\n"
        "<li>加 x 表示小字，例如 gx（工小）。</li>\n"
        "<li>各部分必须按照“符号、八度、气口、小字”的顺序书写，"
        "例如 suqx（上高八度气口小）表示高八度、带气口的小字“上”；"
        "顺序不同则无法识别。</li>\n"
        "</ul>\n"

        "<p style=\"font-size:x-large; font-weight:600;\">示例</p>\n"
        "<ul>\n"
        "<li>suqx（上高八度气口小）：高八度、带气口的小字“上”。</li>\n"
        "<li>gd（工低八度）：低八度的“工”。</li>\n"
        "<li>hqx（合气口小）：带气口的小字“合”。</li>\n"
        "</ul>\n"

        "<p>唱词的标记、导出、命令行、设置与字体等更多用法，请参阅"
        "<a href=\"%1\">完整使用文档</a>。</p>\n"
        "</body></html>").arg(guideLink().toString()));
}

Help::~Help()
{
    delete ui;
}

QTextBrowser *Help::textBrowser() const
{
    return ui->textBrowser;
}

QUrl Help::guideLink()
{
    return QUrl(QStringLiteral("kelvo:guide"));
}

QString Help::bundledGuide()
{
    return QStringLiteral(":/docs/guide.html");
}

QString Help::guideFile()
{
    QFile bundled(bundledGuide());
    if (!bundled.open(QIODevice::ReadOnly))
        return QString();
    const QByteArray html = bundled.readAll();
    const QString path = QDir(DataPaths::cacheDir()).filePath(QStringLiteral("guide.html"));
    // Rewritten only when it differs, so an open browser tab stays valid.
    QFile cached(path);
    if (cached.open(QIODevice::ReadOnly) && cached.readAll() == html)
        return path;
    cached.close();
    if (!QDir().mkpath(DataPaths::cacheDir()) || !SafeWrite::writeWhole(path, html))
        return QString();
    return path;
}

void Help::openGuide()
{
    const QString path = guideFile();
    if (!path.isEmpty() && Dialogs::openUrl(QUrl::fromLocalFile(path)))
        return;
    if (!m_guideWindow) {
        // A child window, so the modal help dialog does not block it.
        m_guideWindow = new QTextBrowser(this);
        m_guideWindow->setWindowFlag(Qt::Window);
        m_guideWindow->setObjectName(QStringLiteral("guideWindow"));
        m_guideWindow->setWindowTitle(tr("使用文档"));
        m_guideWindow->resize(900, 700);
        m_guideWindow->setOpenLinks(false);
        connect(m_guideWindow, &QTextBrowser::anchorClicked, m_guideWindow, [this](const QUrl &url) {
            // The guide's links to its own sections arrive resolved
            // against the page; only other addresses leave the window.
            const QUrl page = m_guideWindow->source().adjusted(QUrl::RemoveFragment);
            if (url.hasFragment() && (url.adjusted(QUrl::RemoveFragment) == page || url.isRelative()))
                m_guideWindow->scrollToAnchor(url.fragment());
            else
                Dialogs::openUrl(url);
        });
        m_guideWindow->setSource(QUrl(QStringLiteral("qrc") + bundledGuide()));
    }
    m_guideWindow->show();
    m_guideWindow->raise();
    m_guideWindow->activateWindow();
}

void Help::onLinkClicked(const QUrl &url)
{
    if (url == guideLink())
        openGuide();
    else
        Dialogs::openUrl(url);
}
