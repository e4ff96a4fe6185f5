#include "frmTitle.h"
#include "FormsRegistry.h"
#include "UiFont.h"

#include <QLabel>
#include <QVBoxLayout>

frmTitle::frmTitle(QWidget* parent) : QWidget(parent, Qt::SplashScreen | Qt::WindowStaysOnTopHint) {
    setAttribute(Qt::WA_DeleteOnClose, false);
    setWindowTitle(QStringLiteral("Tamroc管理ツール"));
    setFont(uiFont(10));
    auto* lay = new QVBoxLayout(this);
    lblTitle = new QLabel(QStringLiteral("Tamroc管理ツール"), this);
    lblTitle->setFont(uiFont(20, true));
    lblTitle->setAlignment(Qt::AlignCenter);
    Label1 = new QLabel(QStringLiteral("家計の記録を、表のままに。　Tamroc 開発チーム"), this);
    Label1->setAlignment(Qt::AlignCenter);
    lay->addStretch();
    lay->addWidget(lblTitle);
    lay->addWidget(Label1);
    lay->addStretch();
    setStyleSheet(QStringLiteral("frmTitle { background: #f4efe4; }"));
    resize(420, 200);
    Forms::add(this);
}

void frmTitle::showNotice(const QString& text) {
    auto* notice = new QLabel(text, this);
    notice->setWordWrap(true);
    notice->setAlignment(Qt::AlignCenter);
    notice->setTextInteractionFlags(Qt::TextSelectableByMouse);
    static_cast<QVBoxLayout*>(layout())->insertWidget(layout()->count() - 1, notice);
    adjustSize();
    show();
    raise();
}
