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

namespace zq::qt {

using reorg::Alignment;
using reorg::Control;
using reorg::Event;
using reorg::Flow;

namespace {

constexpr std::size_t kControls = 8;
std::size_t Index(Control c) { return static_cast<std::size_t>(c); }

// Client area and control rectangles of the design, in twips: left, top, width, height.
constexpr int kClientWidth = 6630;
constexpr int kClientHeight = 1980;
struct TwipRect {
    int left, top, width, height;
};
constexpr TwipRect kPic{6130, 645, 240, 240};
constexpr TwipRect kEnde{210, 1200, 3060, 495};
constexpr TwipRect kReorg{3360, 1200, 3060, 495};
constexpr TwipRect kPath{210, 615, 5805, 315};
constexpr TwipRect kFileButton{6090, 615, 315, 315};
constexpr TwipRect kProgress{3420, 360, 2595, 255};
constexpr TwipRect kCaption{240, 345, 5970, 255};
// The waiting sign of long steps, below the buttons.
constexpr TwipRect kBusyText{210, 1740, 3060, 210};
constexpr TwipRect kBusyBar{3360, 1770, 3060, 150};

const QColor kStartGreen(128, 255, 128);
// The design's flat light green: a palette colour alone is drawn as a pale gradient by most
// styles, a style sheet fills the face with exactly this colour.
const char* const kStartGreenSheet =
    "QPushButton { background-color: rgb(128, 255, 128); border: 1px solid rgb(64, 128, 64);"
    " border-radius: 2px; padding: 2px; }"
    "QPushButton:pressed { background-color: rgb(104, 224, 104); }"
    "QPushButton:focus { border: 2px solid rgb(32, 96, 32); }";

QString Q(const std::string& s) { return QString::fromStdString(s); }

QFont ArialBold(double points) {
    QFont font(QStringLiteral("Arial"));
    font.setStyleHint(QFont::SansSerif);
    font.setPointSizeF(points);
    font.setBold(true);
    return font;
}

struct ControlState {
    std::string text;
    bool enabled = true;
    bool visible = true;
    bool rightAligned = false;
    bool systemDrawn = false;
    bool readOnly = false;
};

}  // namespace

int TwipsToPixels(int twips, int dpi) {
    const long long scaled = static_cast<long long>(twips) * dpi;
    return static_cast<int>((scaled + (scaled >= 0 ? 720 : -720)) / 1440);
}

class ReorgWindow;

struct QtReorgView::Impl {
    explicit Impl(QtApp& a) : app(a) { state[Index(Control::lblFortschritt)].visible = false; }

    void MakeWindow();
    void Apply(Control c);
    Flow Deliver(Event event);
    void EndProgram();
    std::string FieldText() const;

    QtApp& app;
    std::array<ControlState, kControls> state{};
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
        auto place = [dpi](QWidget* w, const TwipRect& r) {
            w->setGeometry(TwipsToPixels(r.left, dpi), TwipsToPixels(r.top, dpi),
                           TwipsToPixels(r.width, dpi), TwipsToPixels(r.height, dpi));
        };
        setFixedSize(TwipsToPixels(kClientWidth, dpi), TwipsToPixels(kClientHeight, dpi));

        // Created in the design's order; the folder image is raised over its button below.
        pic = new QLabel(this);
        pic->setObjectName(QStringLiteral("picDatendatei"));
        pic->setPixmap(style()->standardIcon(QStyle::SP_DirIcon).pixmap(16, 16));
        pic->setAlignment(Qt::AlignCenter);
        pic->setCursor(Qt::PointingHandCursor);
        pic->installEventFilter(this);
        place(pic, kPic);

        cmdEnde = MakeButton("cmdEnde", 9.75);
        place(cmdEnde, kEnde);
        cmdReorg = MakeButton("cmdReorg", 9.75);
        place(cmdReorg, kReorg);

        txtDatenbank = new QLineEdit(this);
        txtDatenbank->setObjectName(QStringLiteral("txtDatenbank"));
        txtDatenbank->setFont(ArialBold(8.25));
        txtDatenbank->setToolTip(QStringLiteral("Pfad und Name der Datenbank (ZQData.mdb)"));
        txtDatenbank->installEventFilter(this);
        place(txtDatenbank, kPath);

        cmdDatendatei = new QPushButton(this);
        cmdDatendatei->setObjectName(QStringLiteral("cmdDatendatei"));
        place(cmdDatendatei, kFileButton);

        lblFortschritt = MakeLabel("lblFortschritt");
        place(lblFortschritt, kProgress);
        lblDatendatei = MakeLabel("lblDatendatei");
        lblDatendatei->setFont(ArialBold(8.25));
        place(lblDatendatei, kCaption);

        busyText = MakeLabel("busyText");
        place(busyText, kBusyText);
        busyText->hide();
        busyBar = new QProgressBar(this);
        busyBar->setObjectName(QStringLiteral("busyBar"));
        busyBar->setRange(0, 0);  // no known end: a moving sign
        busyBar->setTextVisible(false);
        place(busyBar, kBusyBar);
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
    for (std::size_t i = 0; i < kControls; ++i) Apply(static_cast<Control>(i));
}

void QtReorgView::Impl::Apply(Control c) {
    if (!window) return;
    const ControlState& s = state[Index(c)];
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
    return state[Index(Control::txtDatenbank)].text;
}

Flow QtReorgView::Impl::Deliver(Event event) {
    if (events == nullptr || ended) return Flow::End;
    // What the user typed is the field's text from now on, whatever the logic makes of it.
    state[Index(Control::txtDatenbank)].text = FieldText();
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

QtReorgView::QtReorgView(QtApp& app) : impl_(std::make_unique<Impl>(app)) {}

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

void QtReorgView::SetText(Control control, const std::string& text) {
    Impl& m = *impl_;
    m.state[Index(control)].text = text;
    m.Apply(control);
}

std::string QtReorgView::Text(Control control) const {
    if (control == Control::txtDatenbank) return impl_->FieldText();
    return impl_->state[Index(control)].text;
}

void QtReorgView::SetEnabled(Control control, bool enabled) {
    impl_->state[Index(control)].enabled = enabled;
    impl_->Apply(control);
}

bool QtReorgView::IsEnabled(Control control) const { return impl_->state[Index(control)].enabled; }

void QtReorgView::SetVisible(Control control, bool visible) {
    impl_->state[Index(control)].visible = visible;
    impl_->Apply(control);
}

void QtReorgView::SetAlignment(Control control, Alignment alignment) {
    impl_->state[Index(control)].rightAligned = alignment == Alignment::Right;
    impl_->Apply(control);
}

void QtReorgView::UseSystemDrawnButton(Control control) {
    impl_->state[Index(control)].systemDrawn = true;
    impl_->Apply(control);
}

void QtReorgView::SetReadOnly(Control control, bool readOnly) {
    Impl& m = *impl_;
    m.state[Index(control)].readOnly = readOnly;
    // Directly, not through Apply: the field's typed text is not the logic's to reset here.
    if (m.window && control == Control::txtDatenbank) m.window->txtDatenbank->setReadOnly(readOnly);
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
