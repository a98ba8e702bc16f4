// SPDX-License-Identifier: GPL-3.0-or-later
#include "online/ui/SponsorView.h"

#include "shared/ui/DialogService.h"

#include <QImage>
#include <QTextDocument>

namespace {

// The document asks itself for resources after the browser declines, reads
// local files as a last resort, and the image handler loads an image path
// directly when it gets nothing back. So this document answers every
// request itself: a blank image for images, nothing for the rest.
class InertDocument : public QTextDocument
{
public:
    using QTextDocument::QTextDocument;

protected:
    QVariant loadResource(int type, const QUrl &name) override
    {
        Q_UNUSED(name);
        if (type == QTextDocument::ImageResource) {
            QImage blank(1, 1, QImage::Format_ARGB32);
            blank.fill(Qt::transparent);
            return blank;
        }
        return QVariant();
    }
};

} // namespace

SponsorView::SponsorView(QWidget *parent)
    : QTextBrowser(parent)
{
    auto *document = new InertDocument(this);
    document->setResourceProvider([](const QUrl &) { return QVariant(); });
    setDocument(document);
    setOpenLinks(false);
    setOpenExternalLinks(false);
    connect(this, &QTextBrowser::anchorClicked, this, &SponsorView::openLink);
}

QVariant SponsorView::loadResource(int type, const QUrl &name)
{
    Q_UNUSED(type);
    Q_UNUSED(name);
    return QVariant();
}

void SponsorView::openLink(const QUrl &url)
{
    // Only web addresses: a file or custom-scheme link from the network
    // could start a program through the desktop.
    const QString scheme = url.scheme().toLower();
    if (scheme == QLatin1String("https") || scheme == QLatin1String("http"))
        Dialogs::openUrl(url);
}
