// The main window's analysis views: creating, opening and closing them, laying them out in the
// arrangement the Window menu chose, and the layout kept for the next start.
#include <QEvent>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QScreen>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QStatusBar>
#include <QStyle>
#include <QToolBar>
#include <algorithm>

#include "engine/engine.h"
#include "engine/processing_settings.h"
#include "engine/wave_file_commands.h"
#include "views/qt/main_window.h"
#include "views/qt/phase_view.h"
#include "views/qt/qt_host.h"
#include "views/qt/spectrum_view.h"
#include "views/qt/time_series_view.h"

namespace zeltrak {

void TMainWin::ArrangeViews(Arrangement arrangement) {
    arrangement_ = arrangement;
    LayOutViews();
}

void TMainWin::LayOutViews() {
    QList<QMdiSubWindow*> subs = mdi_->subWindowList(QMdiArea::CreationOrder);
    // Only the open views: one closing is still listed, and still visible while its close event runs.
    subs.removeIf([this](const QMdiSubWindow* sub) { return ViewOf(sub) < 0; });
    if (subs.isEmpty() || arrangement_ == Arrangement::Free) return;
    const QSize area = mdi_->viewport()->size();
    const int n = static_cast<int>(subs.size());
    // The subwindows' own move and resize events must not read as the user's.
    arranging_ = true;
    for (int i = 0; i < n; ++i) {
        subs[i]->showNormal();
        subs[i]->setGeometry(ArrangedGeometry(i, n, area));
        subs[i]->raise();  // cascade: the last one on top, each title bar visible
    }
    arranging_ = false;
}

QRect TMainWin::ArrangedGeometry(int i, int n, QSize area) const {
    switch (arrangement_) {
        case Arrangement::TileVertical: {
            const int w = area.width() / n;
            return QRect(i * w, 0, w, area.height());
        }
        case Arrangement::TileHorizontal: {
            const int h = area.height() / n;
            return QRect(0, i * h, area.width(), h);
        }
        case Arrangement::Cascade:
        case Arrangement::Free: break;
    }
    // Each window as large as the area allows with every earlier title bar showing above it.
    const int step = style()->pixelMetric(QStyle::PM_TitleBarHeight) + 4;
    const int shift = step * (n - 1);
    return QRect(i * step, i * step, std::max(area.width() - shift, area.width() / 2),
                 std::max(area.height() - shift, area.height() / 2));
}

bool TMainWin::eventFilter(QObject* watched, QEvent* event) {
    const QEvent::Type type = event->type();
    const auto* sub = qobject_cast<QMdiSubWindow*>(watched);
    if (watched == mdi_->viewport() && type == QEvent::Resize) {
        LayOutViews();  // the arrangement follows the window as it grows or shrinks
    } else if (sub && type == QEvent::Close && ViewOf(sub) >= 0) {
        // Its own close box: the view ends now, as from the menu, not when its deletion comes.
        ForgetView(static_cast<View>(ViewOf(sub)));
        LayOutViews();
    } else if (sub && !arranging_ && (type == QEvent::Move || type == QEvent::Resize) && sub->isVisible()) {
        arrangement_ = Arrangement::Free;  // the user placed a view: keep it where it is
    }
    return QMainWindow::eventFilter(watched, event);
}

void TMainWin::BuildViewMenu() {
    QMenu* menu = menuBar()->addMenu(tr("&View"));
    const std::pair<View, const char*> entries[] = {
        {View::TimeSeries, "&Time Series"}, {View::Spectrum, "&Spectrum"}, {View::Phase, "&Phase"}};
    for (const auto& [view, label] : entries) {
        QAction* a = menu->addAction(tr(label));
        a->setCheckable(true);
        // The check mark follows the view's presence, not the click.
        connect(a, &QAction::triggered, this, [this, view = view] {
            if (ViewWidget(view)) CloseView(view);
            else OpenView(view);
        });
        views_[static_cast<int>(view)].action = a;
    }
}

QWidget* TMainWin::CreateView(View view) {
    const FrequencyScale scale = FrequencyScaleFromCode(settings_.Scaling().FreqScaleType);
    TPlotView* widget = nullptr;
    TEngineListener* listener = nullptr;
    switch (view) {
        case View::TimeSeries: {
            auto* v = new TTimeSeriesView;
            widget = v;
            listener = v;
            break;
        }
        case View::Spectrum: {
            auto* v = new TSpectrumView(spectrumStart_, spectrumStop_, scale);
            widget = v;
            listener = v;
            break;
        }
        case View::Phase: {
            auto* v = new TPhaseView(spectrumStart_, spectrumStop_, scale);
            v->SetBlankDepthDb(phaseBlankDepthDb_);
            v->SetBlankCoherence(phaseBlankCoherence_);
            widget = v;
            listener = v;
            break;
        }
    }
    widget->SetHost(&host_);  // exports report failures and copy text through the host
    // The caption is read at each export, so it names the file and settings of that moment.
    widget->SetCaptionSource([this, view] {
        const QAction* action = views_[static_cast<int>(view)].action;
        // The name the title bar shows: an untitled recording has only a scratch name.
        return TExportCaptionInputs{action ? action->text().remove('&').toStdString() : std::string(),
                                    files_->OpenFileName(), settings_};
    });
    views_[static_cast<int>(view)].listener = listener;
    return widget;
}

void TMainWin::ShowSeriesUnit() {
    auto* series = static_cast<TTimeSeriesView*>(ViewWidget(View::TimeSeries));
    if (!series) return;
    // Calibrated samples are in the calibration's unit; otherwise in parts of full scale.
    const std::string label(calibration_.LabelLinear, strnlen(calibration_.LabelLinear, sizeof calibration_.LabelLinear));
    const bool calibrated = calibration_.IsEnabled != 0 && !label.empty();
    series->SetValueUnit(calibrated ? label : std::string(kTimeSeriesFullScale));
}

QWidget* TMainWin::OpenView(View view) {
    OpenViewSlot& slot = views_[static_cast<int>(view)];
    if (slot.widget) {
        mdi_->setActiveSubWindow(slot.sub);
        return slot.widget;
    }
    QWidget* widget = CreateView(view);
    if (!widget) return nullptr;
    slot.widget = widget;
    slot.sub = mdi_->addSubWindow(widget);
    slot.sub->setAttribute(Qt::WA_DeleteOnClose);
    slot.sub->setWindowTitle(slot.action ? slot.action->text().remove('&') : QString());
    slot.sub->resize(720, 420);
    // The close box of the child window ends the view as the menu does.
    connect(widget, &QObject::destroyed, this, [this, view] {
        views_[static_cast<int>(view)].widget = nullptr;  // being destroyed: nothing to disconnect
        ForgetView(view);
    });
    engine_.AddListener(slot.listener, ListenerRole::View);
    if (slot.action) slot.action->setChecked(true);
    if (view == View::TimeSeries) ShowSeriesUnit();
    slot.sub->show();
    slot.sub->installEventFilter(this);  // after its first placement, which is not the user's
    LayOutViews();
    return widget;
}

void TMainWin::CloseView(View view) {
    OpenViewSlot& slot = views_[static_cast<int>(view)];
    if (!slot.sub) return;
    QMdiSubWindow* sub = slot.sub;
    ForgetView(view);
    sub->close();  // deletes the child and its view
    LayOutViews();  // the others take up its room
}

void TMainWin::ForgetView(View view) {
    OpenViewSlot& slot = views_[static_cast<int>(view)];
    // A closed view's range is kept for the layout stored at exit.
    ranges_[static_cast<int>(view)] = ViewRange(view);
    if (slot.listener) engine_.RemoveListener(slot.listener);
    if (slot.widget) slot.widget->disconnect(this);
    slot.listener = nullptr;
    slot.widget = nullptr;
    slot.sub = nullptr;
    if (slot.action) slot.action->setChecked(false);
}

namespace {
TPixelRect ToPixelRect(const QRect& r) { return {r.x(), r.y(), r.width(), r.height()}; }
QRect ToQRect(const TPixelRect& r) { return QRect(r.x, r.y, r.width, r.height); }

// The screens' areas free of panels, the primary screen's first.
std::vector<TPixelRect> AvailableScreenAreas() {
    std::vector<TPixelRect> areas;
    if (QScreen* primary = QGuiApplication::primaryScreen()) areas.push_back(ToPixelRect(primary->availableGeometry()));
    for (QScreen* screen : QGuiApplication::screens())
        if (screen != QGuiApplication::primaryScreen()) areas.push_back(ToPixelRect(screen->availableGeometry()));
    return areas;
}
}  // namespace

void TMainWin::PlaceForFirstStart() {
    setGeometry(ToQRect(UsableWindowGeometry(std::nullopt, AvailableScreenAreas())));
}

DesktopLayout TMainWin::Layout() const {
    DesktopLayout layout;
    layout.maximised = isMaximized();
    layout.window = ToPixelRect(layout.maximised ? normalGeometry() : geometry());
    layout.arrangement = arrangement_;
    layout.viewsStored = true;
    for (int i = 0; i < kViewCount; ++i) {
        const OpenViewSlot& slot = views_[i];
        DesktopLayout::ViewState& state = layout.views[i];
        state.open = slot.sub != nullptr;
        if (slot.sub) state.geometry = ToPixelRect(slot.sub->geometry());
        state.range = ViewRange(static_cast<View>(i));
    }
    return layout;
}

void TMainWin::RestoreLayout(const DesktopLayout& layout) {
    setGeometry(ToQRect(UsableWindowGeometry(layout.window, AvailableScreenAreas())));
    if (layout.maximised) setWindowState(windowState() | Qt::WindowMaximized);
    if (layout.viewsStored) RestoreViews(layout);
    // After the views: closing one that the layout has closed would keep the new view's range.
    for (int i = 0; i < kViewCount; ++i) ranges_[i] = layout.views[i].range;
    ArrangeViews(layout.arrangement);
}

void TMainWin::RestoreViews(const DesktopLayout& layout) {
    for (int i = 0; i < kViewCount; ++i) {
        const View view = static_cast<View>(i);
        const DesktopLayout::ViewState& state = layout.views[i];
        if (!state.open) {
            CloseView(view);
            continue;
        }
        OpenView(view);
        arranging_ = true;  // the stored place is not a move by the user
        if (state.geometry) views_[i].sub->setGeometry(ToQRect(*state.geometry));
        arranging_ = false;
        const std::optional<TUserRange> range = ParseUserRange(state.range);
        if (range) static_cast<TPlotView*>(views_[i].widget)->RestoreRange(*range);
    }
}

std::string TMainWin::ViewRange(View view) const {
    const auto* plot = static_cast<const TPlotView*>(views_[static_cast<int>(view)].widget);
    if (!plot) return ranges_[static_cast<int>(view)];
    return plot->RangeUserSet() ? FormatUserRange(plot->UserRange()) : std::string();
}

int TMainWin::ViewOf(const QMdiSubWindow* sub) const {
    for (int i = 0; i < kViewCount; ++i)
        if (views_[i].sub == sub) return i;
    return -1;
}

bool TMainWin::RestoreView(View view) {
    QMdiSubWindow* sub = views_[static_cast<int>(view)].sub;
    if (!sub) return false;
    sub->showNormal();
    return true;
}

bool TMainWin::MaximizeView(View view) {
    QMdiSubWindow* sub = views_[static_cast<int>(view)].sub;
    if (!sub) return false;
    sub->showMaximized();
    return true;
}

QImage TMainWin::ViewsImage() const {
    std::vector<QImage> shots;
    int width = 0, height = 0;
    for (const OpenViewSlot& slot : views_) {
        if (!slot.widget) continue;
        shots.push_back(slot.widget->grab().toImage());
        width = std::max(width, shots.back().width());
        height += shots.back().height();
    }
    if (shots.empty()) return {};
    QImage all(width, height, QImage::Format_RGB32);
    all.fill(Qt::white);
    QPainter painter(&all);
    int y = 0;
    for (const QImage& shot : shots) {
        painter.drawImage(0, y, shot);
        y += shot.height();
    }
    return all;
}

void TMainWin::ShowBar(Bar bar, bool visible) {
    switch (bar) {
        case Bar::Menu: menuBar()->setVisible(visible); break;
        case Bar::Tool: tools_->setVisible(visible); break;
        case Bar::Status: statusBar()->setVisible(visible); break;
    }
}

TSpectrumView* TMainWin::SpectrumView() const {
    return static_cast<TSpectrumView*>(ViewWidget(View::Spectrum));
}

}  // namespace zeltrak
