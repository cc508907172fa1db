#include "platform/qt/QtUpdateView.h"

#include <QApplication>
#include <algorithm>
#include <QCloseEvent>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QVBoxLayout>
#include <QWidget>
#include <map>
#include <string>

#include "platform/qt/QtUi.h"

namespace zq::qt {

namespace ctl = update::ctl;

namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }
QString Q(std::string_view s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }

// A one-line label that never asks for more width than a few characters: a long text (a
// deep folder, a stored value) is shown with its middle left out and whole in the tooltip.
class ElidingLabel : public QLabel {
public:
    using QLabel::QLabel;

    QSize minimumSizeHint() const override {
        QSize size = QLabel::minimumSizeHint();
        if (pixmap().isNull()) {
            size.setWidth(std::min(size.width(), fontMetrics().horizontalAdvance(QStringLiteral("MMMMMM"))));
        }
        return size;
    }

    // Shown text: the whole text when it fits, else its start and end around "…".
    QString Shown() const {
        return fontMetrics().elidedText(text(), Qt::ElideMiddle, contentsRect().width());
    }

    void Refit() {
        if (!pixmap().isNull()) return;
        const QString tip = Shown() == text() ? QString() : text();
        if (toolTip() != tip) setToolTip(tip);
    }

protected:
    void paintEvent(QPaintEvent* event) override {
        if (!pixmap().isNull()) {
            QLabel::paintEvent(event);
            return;
        }
        QPainter painter(this);
        painter.setPen(palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled,
                                       foregroundRole()));
        painter.drawText(contentsRect(), static_cast<int>(alignment()), Shown());
    }
    void resizeEvent(QResizeEvent* event) override {
        QLabel::resizeEvent(event);
        Refit();
    }
};

}  // namespace

class UpdateWindow;

struct QtUpdateView::Impl {
    explicit Impl(QtApp& a) : app(a) {}
    void Click(std::string_view control);

    QtApp& app;
    std::unique_ptr<UpdateWindow> window;
    void Gone();

    update::IMainEvents* events = nullptr;  // where the window's events go once shown
    QPointer<QEventLoop> loop;
    bool closed = false;
    bool busy = false;
    int lastPermille = -1;
    QElapsedTimer sinceRepaint;
};

class UpdateWindow : public QWidget {
public:
    explicit UpdateWindow(QtUpdateView::Impl& owner) : owner_(owner) {
        setObjectName(Q(ctl::frmMain));
        auto* outer = new QVBoxLayout(this);

        auto* info = Label(ctl::lblInfo);
        QFont bold = info->font();
        bold.setBold(true);
        info->setFont(bold);
        outer->addWidget(info);
        outer->addWidget(Label(ctl::lblInfoRegKey));
        outer->addWidget(Label(ctl::lblInfoRegSubKeyZQM));
        outer->addWidget(Label(ctl::lblInfoRegSubKeyZQC));

        auto* store = new QHBoxLayout;
        store->addWidget(Label(ctl::Label2));
        auto* pic = Label(ctl::picExplorer);
        pic->setPixmap(style()->standardIcon(QStyle::SP_DirIcon).pixmap(16, 16));
        pic->setCursor(Qt::PointingHandCursor);
        pic->installEventFilter(this);
        store->addWidget(pic);
        auto* path = Label(ctl::lblUpdStorePfad);
        path->setTextInteractionFlags(Qt::TextSelectableByMouse);
        store->addWidget(path, 1);
        outer->addLayout(store);

        auto* groups = new QHBoxLayout;
        groups->addWidget(Group(ctl::Frame2, ctl::Label1, ctl::lblZQMVersionNeu, ctl::lbxZQMVersionAkt,
                                ctl::lblZQMVersionAkt, ctl::lbxZQMInstDat, ctl::lblZQMInstDat,
                                ctl::cmdDownloadZQM));
        groups->addWidget(Group(ctl::Frame1, ctl::Label3, ctl::lblZQCVersionNeu, ctl::lbxZQCVersionAkt,
                                ctl::lblZQCVersionAkt, ctl::lbxZQCInstDat, ctl::lblZQCInstDat,
                                ctl::cmdDownloadZQC));
        outer->addLayout(groups);

        auto* progress = new QProgressBar(this);
        progress->setObjectName(QStringLiteral("progress"));
        progress->setRange(0, 1000);
        progress->setFormat(QStringLiteral("%p %"));
        progress->hide();
        bar = progress;
        busyText = new QLabel(this);
        busyText->setObjectName(QStringLiteral("busyText"));
        busyText->setTextFormat(Qt::PlainText);
        busyText->hide();
        auto* busyRow = new QHBoxLayout;
        busyRow->addWidget(busyText);
        busyRow->addWidget(progress, 1);
        outer->addLayout(busyRow);

        note = new QLabel(this);
        note->setObjectName(QStringLiteral("note"));
        note->setTextFormat(Qt::PlainText);
        note->setWordWrap(true);
        note->hide();
        outer->addWidget(note);

        auto* buttons = new QHBoxLayout;
        buttons->addWidget(Button(ctl::cmdHistorie));
        auto* explorer = Button(ctl::cmdExplorer);
        explorer->setIcon(style()->standardIcon(QStyle::SP_DirOpenIcon));
        explorer->setToolTip(QStringLiteral("Auto-Update Verzeichnis öffnen"));
        buttons->addWidget(explorer);
        buttons->addStretch(1);
        buttons->addWidget(Button(ctl::cmdOK));
        outer->addLayout(buttons);
    }

    QWidget* Find(std::string_view name) {
        const auto it = controls_.find(std::string(name));
        if (it != controls_.end()) return it->second;
        return name == ctl::frmMain ? this : nullptr;
    }

    // The window as large as its content asks, but never beyond the screen it is on.
    void FitToScreen() {
        const QScreen* where = screen();
        if (where == nullptr) return;
        const QSize room = where->availableGeometry().size();
        setMaximumSize(room);
        resize(sizeHint().boundedTo(room).expandedTo(minimumSizeHint()).boundedTo(room));
    }

    QProgressBar* bar;
    QLabel* busyText;
    QLabel* note;

protected:
    void closeEvent(QCloseEvent* event) override {
        if (!owner_.closed && owner_.events != nullptr &&
            owner_.events->Deliver({update::MainEvent::Kind::Close, {}})) {
            event->ignore();  // the logic keeps the window
            return;
        }
        owner_.closed = true;
        if (owner_.loop) owner_.loop->quit();
        event->accept();
    }

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == controls_[std::string(ctl::picExplorer)] &&
            event->type() == QEvent::MouseButtonRelease) {
            auto* w = static_cast<QWidget*>(watched);
            auto* mouse = static_cast<QMouseEvent*>(event);
            if (w->isEnabled() && mouse->button() == Qt::LeftButton &&
                w->rect().contains(mouse->position().toPoint())) {
                owner_.Click(ctl::picExplorer);
                return true;
            }
        }
        return QWidget::eventFilter(watched, event);
    }

private:
    QLabel* Label(std::string_view name) {
        auto* label = new ElidingLabel(this);
        label->setObjectName(Q(name));
        label->setTextFormat(Qt::PlainText);  // settings and server texts are shown as they are
        controls_[std::string(name)] = label;
        return label;
    }

    QPushButton* Button(std::string_view name) {
        auto* button = new QPushButton(this);
        button->setObjectName(Q(name));
        controls_[std::string(name)] = button;
        const std::string control(name);
        connect(button, &QPushButton::clicked, this, [this, control] { owner_.Click(control); });
        return button;
    }

    QGroupBox* Group(std::string_view frame, std::string_view newestCaption, std::string_view newest,
                     std::string_view versionCaption, std::string_view version,
                     std::string_view dateCaption, std::string_view date, std::string_view download) {
        auto* group = new QGroupBox(this);
        group->setObjectName(Q(frame));
        controls_[std::string(frame)] = group;
        auto* grid = new QGridLayout(group);
        grid->addWidget(Label(newestCaption), 0, 0);
        grid->addWidget(Label(newest), 0, 1);
        grid->addWidget(Label(versionCaption), 1, 0);
        grid->addWidget(Label(version), 1, 1);
        grid->addWidget(Label(dateCaption), 2, 0);
        grid->addWidget(Label(date), 2, 1);
        grid->addWidget(Button(download), 3, 0, 1, 2);
        grid->setColumnStretch(1, 1);
        return group;
    }

    QtUpdateView::Impl& owner_;
    std::map<std::string, QWidget*> controls_;
};

void QtUpdateView::Impl::Click(std::string_view control) {
    if (closed || events == nullptr) return;
    if (!events->Deliver({update::MainEvent::Kind::Click, control})) Gone();
}

void QtUpdateView::Impl::Gone() {
    closed = true;
    window->hide();
    if (loop) loop->quit();
}

QtUpdateView::QtUpdateView(QtApp& app) : impl_(std::make_unique<Impl>(app)) {
    app.Ensure();
    impl_->window = std::make_unique<UpdateWindow>(*impl_);
}

QtUpdateView::~QtUpdateView() {
    if (impl_->busy) QApplication::restoreOverrideCursor();
}

void QtUpdateView::SetText(std::string_view control, const std::string& text) {
    QWidget* w = impl_->window->Find(control);
    if (w == nullptr) return;
    if (w == impl_->window.get()) {
        w->setWindowTitle(Q(text));
    } else if (auto* label = qobject_cast<QLabel*>(w)) {
        if (label->pixmap().isNull()) {
            label->setText(Q(text));
            static_cast<ElidingLabel*>(label)->Refit();
        }
    } else if (auto* button = qobject_cast<QPushButton*>(w)) {
        button->setText(Q(text));
    } else if (auto* group = qobject_cast<QGroupBox*>(w)) {
        group->setTitle(Q(text));
    }
}

void QtUpdateView::SetEnabled(std::string_view control, bool enabled) {
    if (QWidget* w = impl_->window->Find(control)) w->setEnabled(enabled);
}

void QtUpdateView::UseStandardButtonStyle(std::string_view control) {
    // Our buttons always follow the desktop's style; the mark says the program asked for it.
    if (QWidget* w = impl_->window->Find(control)) w->setProperty("standardStyle", true);
}

void QtUpdateView::Show(update::IMainEvents& events) {
    Impl& m = *impl_;
    m.events = &events;
    if (m.closed || m.window->isVisible()) return;
    m.window->FitToScreen();
    m.window->show();
    m.window->activateWindow();
    m.window->raise();
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

void QtUpdateView::SetBusy(bool busy, const std::string& what) {
    Impl& m = *impl_;
    m.window->busyText->setText(Q(what));
    m.window->busyText->setVisible(busy && !what.empty());
    if (busy == m.busy) return;
    m.busy = busy;
    if (busy) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        m.window->bar->setRange(0, 0);
        m.window->bar->show();
        m.lastPermille = -1;
        m.sinceRepaint.start();
    } else {
        QApplication::restoreOverrideCursor();
        m.window->bar->hide();
    }
}

void QtUpdateView::ProcessPendingEvents() { QCoreApplication::processEvents(QEventLoop::AllEvents); }

void QtUpdateView::ShowProgress(std::uint64_t done, std::uint64_t total) {
    Impl& m = *impl_;
    QProgressBar* bar = m.window->bar;
    int permille = -1;
    if (total > 0) {
        permille = static_cast<int>(done >= total ? 1000 : done * 1000 / total);
        if (bar->maximum() == 0) bar->setRange(0, 1000);
        bar->setValue(permille);
    } else if (bar->maximum() != 0) {
        bar->setRange(0, 0);
    }
    // Repaint now and then; user input waits until the download has ended.
    if (permille != m.lastPermille || !m.sinceRepaint.isValid() || m.sinceRepaint.elapsed() >= 100) {
        m.lastPermille = permille;
        m.sinceRepaint.start();
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    }
}

void QtUpdateView::ShowNote(const std::string& text) {
    QLabel* note = impl_->window->note;
    note->setText(note->text().isEmpty() ? Q(text) : note->text() + QLatin1Char('\n') + Q(text));
    note->show();
}

void QtUpdateView::Run(update::IMainEvents& events) {
    Impl& m = *impl_;
    if (m.closed) return;
    m.events = &events;
    if (!m.window->isVisible()) {
        m.window->FitToScreen();
        m.window->show();
        m.window->activateWindow();
        m.window->raise();
    }
    QEventLoop loop;
    m.loop = &loop;
    if (!m.closed) loop.exec();
    m.loop = nullptr;
    m.events = nullptr;
    m.window->hide();
}

void QtUpdateView::Close() { impl_->Gone(); }

}  // namespace zq::qt
