#include "gui/shell/LockWaitWindow.h"

#include <QApplication>
#include <QEventLoop>
#include <QPointer>
#include <QTimer>
#include <memory>

#include "core/shell/uConst.h"

namespace tarnel {

TfLockWait::TfLockWait(QWidget* parent) : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
    setObjectName("fLockWait");
    setWindowTitle(ToQ(cProgramTitle));
    setWindowModality(Qt::ApplicationModal);
    setFixedSize(457, 130);
    setFont(DesignFont("MS Sans Serif", 11));

    Panel5 = new THeaderBand(ToQ(cProgramTitle), QStringLiteral("The machine is in use"), {40, 8}, {80, 24}, this);
    Panel5->setObjectName("Panel5");
    Panel5->setGeometry(0, 0, width(), 49);
    FitBandLabels(Panel5);

    MessageLabel = new QLabel(this);
    MessageLabel->setObjectName("MessageLabel");
    MessageLabel->setWordWrap(true);
    MessageLabel->setGeometry(12, 55, width() - 24, 40);

    CancelButton = new QPushButton(QStringLiteral("Stop waiting"), this);
    CancelButton->setObjectName("CancelButton");
    CancelButton->setGeometry(width() - 112, height() - 31, 100, 25);
    connect(CancelButton, &QPushButton::clicked, this, &TfLockWait::reject);

    CentreWindow(this, parent);
}

void TfLockWait::SetWait(const platform::TLockWait& wait) {
    MessageLabel->setText(ToQ(platform::LockWaitText(wait)));
}

void TfLockWait::reject() { gaveUp_ = true; }

platform::TLockWaitHook LockWaitWindowHook() {
    auto window = std::make_shared<QPointer<TfLockWait>>();
    return [window](const platform::TLockWait& wait) {
        QPointer<TfLockWait>& shown = *window;
        if (wait.Phase == platform::TLockWait::Ends) {
            if (shown) {
                shown->hide();
                shown->deleteLater();
            }
            shown = nullptr;
            return true;
        }
        if (!shown) {
            shown = new TfLockWait(QApplication::activeWindow());
            shown->show();
        }
        shown->SetWait(wait);
        // The short while passes with the windows painting and answering.
        QEventLoop loop;
        QTimer::singleShot(50, &loop, &QEventLoop::quit);
        loop.exec();
        return shown && !shown->GaveUp();
    };
}

}  // namespace tarnel
