#include "gui/network_dialog.h"

#include "cli/headless.h"
#include "cli/watch_mode.h"
#include "gui/watch_window.h"
#include "net/net_service.h"

#include <QClipboard>
#include <QFormLayout>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>

namespace qv {

using namespace Qt::StringLiterals;

namespace {
const QString kAddressKey = u"network/address"_s;
}

NetworkDialog::NetworkDialog(Session& session, QWidget* parent)
    : QDialog(parent),
      service_(new NetService(session, this)),
      address_(new QLineEdit(QSettings().value(kAddressKey, u"127.0.0.1:8077"_s).toString(), this)),
      url_(new QLabel(this)),
      tokenFile_(new QLabel(this)),
      startStop_(new QPushButton(this)),
      copyToken_(new QPushButton(u"Copy Token"_s, this))
{
    setWindowTitle(u"Network"_s);
    url_->setOpenExternalLinks(true);
    url_->setTextInteractionFlags(Qt::TextBrowserInteraction);
    tokenFile_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    address_->setToolTip(u"[ADDRESS:]PORT. 127.0.0.1 serves this computer only; 0.0.0.0 serves the network, and "
                         "reading then needs the token too."_s);
    auto* form = new QFormLayout(this);
    form->addRow(u"Address:"_s, address_);
    form->addRow(u"Page:"_s, url_);
    form->addRow(u"Token file:"_s, tokenFile_);
    form->addRow(startStop_, copyToken_);
    connect(startStop_, &QPushButton::clicked, this, &NetworkDialog::toggle);
    connect(copyToken_, &QPushButton::clicked, this,
            [this] { QGuiApplication::clipboard()->setText(QString::fromLatin1(service_->token())); });
    refresh();
}

void NetworkDialog::toggle()
{
    if (service_->running()) {
        service_->stop();
        refresh();
        return;
    }
    ServeOptions options;
    options.address = address_->text().trimmed();
    QString error;
    if (!startServing(options, &error))
        url_->setText(u"<span style='color:#c00'>%1</span>"_s.arg(error.toHtmlEscaped()));
}

bool NetworkDialog::startServing(const ServeOptions& options, QString* error)
{
    if (!service_->start(options, error))
        return false;
    address_->setText(options.address);
    QSettings().setValue(kAddressKey, options.address);
    // The window's watch, when one runs, is served as the headless one is: alarms, journal, acknowledgements.
    if (auto* watchWindow = parentWidget() ? parentWidget()->findChild<WatchWindow*>(QString(), Qt::FindDirectChildrenOnly) : nullptr)
        if (Watch* watch = watchWindow->watch())
            serveWatch(*service_->bridge(), *watch);
    refresh();
    return true;
}

QStringList NetworkDialog::notices() const { return service_->notices(); }

void NetworkDialog::refresh()
{
    const bool on = service_->running();
    startStop_->setText(on ? u"Stop Serving"_s : u"Start Serving"_s);
    address_->setEnabled(!on);
    copyToken_->setEnabled(on);
    url_->setText(on ? u"<a href='%1'>%1</a>"_s.arg(service_->url().toHtmlEscaped()) : u"not serving"_s);
    tokenFile_->setText(on ? service_->tokenPath() : QString());
    const QStringList warnings = service_->notices().filter(u"warning"_s);
    if (on && !warnings.isEmpty())
        url_->setText(url_->text() + u"<br><span style='color:#c00'>%1</span>"_s.arg(warnings.first().toHtmlEscaped()));
}

namespace {
NetworkDialog* dialogOf(QWidget* window, Session& session)
{
    auto* dialog = window->findChild<NetworkDialog*>();
    return dialog ? dialog : new NetworkDialog(session, window);
}
}  // namespace

void showNetworkDialog(QWidget* window, Session& session)
{
    NetworkDialog* dialog = dialogOf(window, session);
    dialog->show();
    dialog->raise();
}

bool serveFromWindow(QWidget* window, Session& session, const ServeOptions& options)
{
    NetworkDialog* dialog = dialogOf(window, session);
    QString error;
    if (!dialog->startServing(options, &error)) {
        say(u"qv7700-remote: "_s + error);
        return false;
    }
    for (const QString& notice : dialog->notices())
        say(u"qv7700-remote: "_s + notice);
    return true;
}

}  // namespace qv
