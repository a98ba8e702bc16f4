// SPDX-License-Identifier: GPL-3.0-or-later
#include "dialogs/ui/About.h"

#include "ui_About.h"

#include "core/Version.h"
#include "shared/ui/DialogService.h"
#include "online/ServerConstants.h"

#include <QTextBrowser>

About::About(QWidget *parent)
    : QDialog(parent)
    , ui(new Ui::About)
{
    ui->setupUi(this);
    // Following a web link inside the browser would only blank the page.
    ui->textBrowser->setOpenLinks(false);
    connect(ui->textBrowser, &QTextBrowser::anchorClicked, this,
            [](const QUrl &url) { Dialogs::openUrl(url); });
    ui->textBrowser->setHtml(tr(
        "<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 4.0//EN\" \"http://www.w3.org/TR/REC-html40/strict.dtd\">\n"
        "<html><head><meta charset=\"utf-8\" /><title>关于Kelvo工尺谱</title>\n"
        "<style type=\"text/css\">\n"
        "body { font-family: 'SimSun', sans-serif; font-size: 16px; }\n"
        "</style></head>\n"
        "<body style=\"font-family:'SimSun', sans-serif; font-size:16px;\">\n"
        "<p align=\"center\" style=\"font-size:xx-large; font-weight:600;\">关于Kelvo工尺谱</p>\n"

        "<p>Kelvo工尺谱是一款专为昆曲工尺谱打造的曲谱编辑软件，面向昆曲的研究者、爱好者与传承者，"
        "旨在让工尺谱的书写、编辑与研习更加方便快捷。</p>\n"

        "<p>软件的主要功能包括：</p>\n"
        "<ul>\n"
        "<li>编辑时自动高亮与当前位置对应的唱词或工尺谱，唱词与曲谱一一对照；</li>\n"
        "<li>编辑器和导出曲谱所用的字体均可自由选择；</li>\n"
        "<li>曲谱保存为 .gcp 文件，便于分享与交流；</li>\n"
        "<li>内置拼音首字母输入法，快速输入各类工尺谱符号；</li>\n"
        "<li>支持将曲谱导出为 JPG、PNG、PDF 和 SVG 格式。</li>\n"
        "</ul>\n"

        "<p><span style=\"font-weight:600;\">当前软件版本</span><span>：%1</span></p>\n"

        "<p>如果您在使用中遇到问题，或对软件有任何意见和建议，欢迎通过以下方式与我们联系：</p>\n"
        "<ul>\n"
        "<li>官方网站：<a href=\"%2/\">%2</a></li>\n"
        "<li>问题反馈：<a href=\"%2/feedback\">%2/feedback</a></li>\n"
        "<li>电子邮箱：<a href=\"mailto:support@kelvo.example\">support@kelvo.example</a></li>\n"
        "</ul>\n"

        "<p>昆曲是中华传统文化的瑰宝，工尺谱承载着数百年来的曲唱传承。"
        "愿Kelvo工尺谱能为昆曲的记谱与传习尽一份绵薄之力，让这门古老的艺术薪火相传、历久弥新。</p>\n"
        "</body></html>").arg(Version::number(), ServerConstants::instance()->webBase.toHtmlEscaped()));
}

About::~About()
{
    delete ui;
}

QTextBrowser *About::textBrowser() const
{
    return ui->textBrowser;
}
