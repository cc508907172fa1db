#include "platform/qt/QtReorgView.h"

#include <QApplication>
#include <QCloseEvent>
#include <QEventLoop>
#include <QFocusEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QStyle>
#include <QWidget>
#include <array>

#include "platform/qt/QtUi.h"
#include "reorg/frmZQR/Design.h"

namespace zq::qt {

namespace design = reorg::design;
using reorg::Alignment;
using reorg::Control;
using reorg::Event;
using reorg::Flow;

namespace {

const QColor kStartGreen(design::kStartGreen.red, design::kStartGreen.green, design::kStartGreen.blue);
// The design's flat light green: a palette colour alone is drawn as a pale gradient by most
// styles, a style sheet fills the face with exactly this colour.
const char* const kStartGreenSheet =
    "QPushButton { background-color: rgb(128, 255, 128); border: 1px solid rgb(64, 128, 64);"
    " border-radius: 2px; padding: 2px; }"
    "QPushButton:pressed { background-color: rgb(104, 224, 104); }"
    "QPushButton:focus { border: 2px solid rgb(32, 96, 32); }";

QString Q(const std::string& s) { return QString::fromStdString(s); }

QFont ArialBold(double points) {
    QFont font(QString::fromLatin1(design::kFontFace));
    font.setStyleHint(QFont::SansSerif);
    font.setPointSizeF(points);
    font.setBold(true);
    return font;
}

}  // namespace

class ReorgWindow;

struct QtReorgView::Impl {
    Impl(QtApp& a, QtReorgView& v) : app(a), view(v) {}

    void MakeWindow();
    void Apply(Control c);
    Flow Deliver(Event event);
    void EndProgram();
    std::string FieldText() const;

    QtApp& app;
    QtReorgView& view;  // the control model
    std::unique_ptr<ReorgWindow> window;
    reorg::IReorgEvents* events = nullptr;
    QPointer<QEventLoop> loop;
    bool shown = false;
    bool ended = false;
    bool busy = false;
};

class ReorgWindow : public QWidget {
public:
    explicit ReorgWindow(QtReorgView::Impl& owner) : owner_(owner) {
        setObjectName(QStringLiteral("frmZQR"));
        const int dpi = logicalDpiX() > 0 ? logicalDpiX() : 96;
        auto px = [dpi](int twips) { return design::TwipsToPixels(twips, dpi); };
        auto place = [&px](QWidget* w, const design::TwipRect& r) {
            w->setGeometry(px(r.left), px(r.top), px(r.width), px(r.height));
        };
        setFixedSize(px(design::kClientWidth), px(design::kClientHeight));

        // Created in the design's order; the folder image is raised over its button below.
        pic = new QLabel(this);
        pic->setObjectName(QStringLiteral("picDatendatei"));
        pic->setPixmap(style()->standardIcon(QStyle::SP_DirIcon).pixmap(16, 16));
        pic->setAlignment(Qt::AlignCenter);
        pic->setCursor(Qt::PointingHandCursor);
        pic->installEventFilter(this);
        place(pic, design::Rect(Control::picDatendatei));

        cmdEnde = MakeButton("cmdEnde", design::kButtonFontPoints);
        place(cmdEnde, design::Rect(Control::cmdEnde));
        cmdReorg = MakeButton("cmdReorg", design::kButtonFontPoints);
        place(cmdReorg, design::Rect(Control::cmdReorg));

        txtDatenbank = new QLineEdit(this);
        txtDatenbank->setObjectName(QStringLiteral("txtDatenbank"));
        txtDatenbank->setFont(ArialBold(design::kFieldFontPoints));
        txtDatenbank->setToolTip(QStringLiteral("Pfad und Name der Datenbank (ZQData.mdb)"));
        txtDatenbank->installEventFilter(this);
        place(txtDatenbank, design::Rect(Control::txtDatenbank));

        cmdDatendatei = new QPushButton(this);
        cmdDatendatei->setObjectName(QStringLiteral("cmdDatendatei"));
        place(cmdDatendatei, design::Rect(Control::cmdDatendatei));

        lblFortschritt = MakeLabel("lblFortschritt");
        place(lblFortschritt, design::Rect(Control::lblFortschritt));
        lblDatendatei = MakeLabel("lblDatendatei");
        lblDatendatei->setFont(ArialBold(design::kFieldFontPoints));
        place(lblDatendatei, design::Rect(Control::lblDatendatei));

        busyText = MakeLabel("busyText");
        place(busyText, design::kBusyText);
        busyText->hide();
        busyBar = new QProgressBar(this);
        busyBar->setObjectName(QStringLiteral("busyBar"));
        busyBar->setRange(0, 0);  // no known end: a moving sign
        busyBar->setTextVisible(false);
        place(busyBar, design::kBusyBar);
        busyBar->hide();

        pic->raise();
        setTabOrder(txtDatenbank, cmdDatendatei);
        setTabOrder(cmdDatendatei, cmdReorg);
        setTabOrder(cmdReorg, cmdEnde);

        connect(cmdEnde, &QPushButton::clicked, this, [this] { (void)owner_.Deliver(Event::CmdEndeClick); });
        connect(cmdReorg, &QPushButton::clicked, this, [this] { (void)owner_.Deliver(Event::CmdReorgClick); });
        connect(cmdDatendatei, &QPushButton::clicked, this,
                [this] { (void)owner_.Deliver(Event::CmdDatendateiClick); });
    }

    QWidget* Widget(Control c) {
        switch (c) {
            case Control::frmZQR: return this;
            case Control::picDatendatei: return pic;
            case Control::cmdEnde: return cmdEnde;
            case Control::cmdReorg: return cmdReorg;
            case Control::txtDatenbank: return txtDatenbank;
            case Control::cmdDatendatei: return cmdDatendatei;
            case Control::lblFortschritt: return lblFortschritt;
            case Control::lblDatendatei: return lblDatendatei;
        }
        return nullptr;
    }

    QLabel* pic;
    QPushButton* cmdEnde;
    QPushButton* cmdReorg;
    QLineEdit* txtDatenbank;
    QPushButton* cmdDatendatei;
    QLabel* lblFortschritt;
    QLabel* lblDatendatei;
    QLabel* busyText;
    QProgressBar* busyBar;

protected:
    void closeEvent(QCloseEvent* event) override {
        if (owner_.ended || owner_.Deliver(Event::Close) == Flow::End) {
            event->accept();
        } else {
            event->ignore();
        }
    }

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == txtDatenbank && event->type() == QEvent::FocusOut) {
            // Switching to another window or opening a popup is no leaving of the field.
            const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
            if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason) {
                (void)owner_.Deliver(Event::TxtDatenbankLostFocus);
            }
        } else if (watched == pic && event->type() == QEvent::MouseButtonRelease) {
            auto* mouse = static_cast<QMouseEvent*>(event);
            if (mouse->button() == Qt::LeftButton && pic->rect().contains(mouse->position().toPoint())) {
                (void)owner_.Deliver(Event::PicDatendateiClick);
                return true;
            }
        }
        return QWidget::eventFilter(watched, event);
    }

private:
    QPushButton* MakeButton(const char* name, double points) {
        auto* button = new QPushButton(this);
        button->setObjectName(QString::fromLatin1(name));
        button->setFont(ArialBold(points));
        return button;
    }
    QLabel* MakeLabel(const char* name) {
        auto* label = new QLabel(this);
        label->setObjectName(QString::fromLatin1(name));
        label->setTextFormat(Qt::PlainText);  // paths are shown as they are, never as markup
        return label;
    }

    QtReorgView::Impl& owner_;
};

void QtReorgView::Impl::MakeWindow() {
    if (window) return;
    app.Ensure();
    window = std::make_unique<ReorgWindow>(*this);
    for (std::size_t i = 0; i < reorg::kControlCount; ++i) Apply(static_cast<Control>(i));
}

void QtReorgView::Impl::Apply(Control c) {
    if (!window) return;
    const reorg::ControlState& s = view.State(c);
    QWidget* w = window->Widget(c);
    switch (c) {
        case Control::frmZQR: window->setWindowTitle(Q(s.text)); break;
        case Control::cmdEnde:
        case Control::cmdReorg:
        case Control::cmdDatendatei: {
            auto* button = static_cast<QPushButton*>(w);
            button->setText(Q(s.text));
            // The design colours, unless the desktop's visual style draws the button.
            const bool green = c == Control::cmdReorg && !s.systemDrawn;
            // The sheet first: removing one gives back the palette the button had under it.
            button->setStyleSheet(green ? QString::fromLatin1(kStartGreenSheet) : QString());
            QPalette palette = QApplication::palette(button);
            if (green) palette.setColor(QPalette::Button, kStartGreen);
            button->setPalette(palette);
            break;
        }
        case Control::txtDatenbank:
            if (window->txtDatenbank->text() != Q(s.text)) window->txtDatenbank->setText(Q(s.text));
            window->txtDatenbank->setReadOnly(s.readOnly);
            break;
        case Control::lblFortschritt:
        case Control::lblDatendatei: {
            auto* label = static_cast<QLabel*>(w);
            label->setText(Q(s.text));
            label->setAlignment((s.rightAligned ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter);
            break;
        }
        case Control::picDatendatei: break;
    }
    if (c != Control::frmZQR) {
        w->setEnabled(s.enabled);
        w->setVisible(s.visible);
    }
}

std::string QtReorgView::Impl::FieldText() const {
    if (window) return window->txtDatenbank->text().toStdString();
    return view.State(Control::txtDatenbank).text;
}

Flow QtReorgView::Impl::Deliver(Event event) {
    if (events == nullptr || ended) return Flow::End;
    // What the user typed is the field's text from now on, whatever the logic makes of it.
    view.State(Control::txtDatenbank).text = FieldText();
    const Flow flow = events->Deliver(event);
    if (flow == Flow::End) EndProgram();
    return flow;
}

void QtReorgView::Impl::EndProgram() {
    ended = true;
    if (busy) {
        QApplication::restoreOverrideCursor();
        busy = false;
    }
    if (window) window->hide();
    if (loop) loop->quit();
}

QtReorgView::QtReorgView(QtApp& app) : impl_(std::make_unique<Impl>(app, *this)) {}

QtReorgView::~QtReorgView() {
    if (impl_->busy && QCoreApplication::instance()) QApplication::restoreOverrideCursor();
}

Flow QtReorgView::Show(reorg::IReorgEvents& events) {
    Impl& m = *impl_;
    m.events = &events;
    if (m.shown) return m.ended ? Flow::End : Flow::Go;
    m.shown = true;
    m.MakeWindow();
    const Flow flow = events.OnLoad();
    if (flow == Flow::End) {
        m.ended = true;
        return flow;
    }
    m.window->show();
    m.window->activateWindow();
    m.window->raise();
    return flow;
}

bool QtReorgView::IsShown() const { return impl_->shown && !impl_->ended; }

std::string QtReorgView::Text(Control control) const {
    if (control == Control::txtDatenbank) return impl_->FieldText();
    return State(control).text;
}

void QtReorgView::Apply(Control control) { impl_->Apply(control); }

void QtReorgView::ApplyReadOnly(Control control) {
    Impl& m = *impl_;
    if (m.window && control == Control::txtDatenbank)
        m.window->txtDatenbank->setReadOnly(State(control).readOnly);
}

void QtReorgView::ProcessPendingInput() {
    Impl& m = *impl_;
    if (!m.window || m.ended) return;
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void QtReorgView::ShowBusy(const std::string& text) {
    Impl& m = *impl_;
    if (!m.window) return;  // nothing shown: an unattended run has no window to mark
    if (text.empty()) {
        if (m.busy) QApplication::restoreOverrideCursor();
        m.busy = false;
        m.window->busyText->hide();
        m.window->busyBar->hide();
        return;
    }
    if (!m.busy) QApplication::setOverrideCursor(Qt::BusyCursor);
    m.busy = true;
    m.window->busyText->setText(Q(text));
    m.window->busyText->show();
    m.window->busyBar->show();
}

void QtReorgView::Run(reorg::IReorgEvents& events) {
    Impl& m = *impl_;
    if (!m.shown && Show(events) == Flow::End) return;
    m.events = &events;
    if (m.ended) return;
    QEventLoop loop;
    m.loop = &loop;
    loop.exec();
    m.loop = nullptr;
}

}  // namespace zq::qt
