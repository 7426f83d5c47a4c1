#pragma once
// Logger > Network...: start and stop serving this window's instrument on the network, see the address, and
// copy the token for a viewer. Serving goes on while the dialog is closed, for as long as the window lives.

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;

namespace qv {

class NetService;
class Session;

struct ServeOptions;

class NetworkDialog : public QDialog {
    Q_OBJECT
public:
    NetworkDialog(Session& session, QWidget* parent);

    QPushButton* startStopButton() const { return startStop_; }
    QLineEdit* addressEdit() const { return address_; }
    QLabel* urlLabel() const { return url_; }
    // Starts serving with these options, as --serve --window asks; false with the reason when it cannot.
    bool startServing(const ServeOptions& options, QString* error);
    QStringList notices() const;
    NetService* service() const { return service_; }

private:
    void toggle();
    void refresh();

    NetService* service_;
    QLineEdit* address_;
    QLabel* url_;
    QLabel* tokenFile_;
    QPushButton* startStop_;
    QPushButton* copyToken_;
};

// The window's one dialog of this kind, made on first use.
void showNetworkDialog(QWidget* window, Session& session);
// --serve --window: serving from the start; what the user should know goes to standard error.
bool serveFromWindow(QWidget* window, Session& session, const ServeOptions& options);

}  // namespace qv
