#pragma once

#include "config/OptionsFile.h"
#include "report/LampCompanies.h"
#include "report/LampRules.h"
#include "report/PassView.h"
#include "ui/PanelLayout.h"

#include <QWidget>

#include <array>
#include <memory>
#include <optional>

class QLabel;
class QTimer;

namespace courivane {

// The status panel: a borderless, stay-on-top strip of ten elements (settings button, eight
// lamps, status button), each as a picture and as a label. It lays itself out from the options
// it is handed, shows the lamps of each pass and runs their blinks; a click on a button asks its
// owner for the settings or the summary.
class Status : public QWidget {
    Q_OBJECT
public:
    // How the magenta around the lamps is left out: by a window mask where the platform has
    // masks (X11), by transparency where it has none (a Wayland compositor).
    enum class Keying { Mask, Alpha };
    static Keying keyingOfPlatform();

    // The pictures are looked for in `assetDirs`, in order.
    explicit Status(QStringList assetDirs, QWidget* parent = nullptr,
                    Keying keying = keyingOfPlatform());

    const PanelLayout& layout() const { return m_layout; }
    QLabel* picture(int element) const { return m_pictures.at(element); }
    QLabel* label(int element) const { return m_labels.at(element); }
    QTimer* blinkTimer(const QString& name) const;

    // MakeMoveable: whether a drag on a lamp moves the panel.
    void setMoveable(bool on) { m_moveable = on; }
    // Panel layout operations: start-up, and the settings dialog's two toggles.
    void applyStartupLayout(const Options& options);
    void applySplit(const Options& options);
    void applyDisplayMode(const Options& options);
    void centreAtTop();

    // Both forms of a lamp in one colour.
    void setLamp(Lamp lamp, LampColour colour);
    // The lamps as core decided them: colours, dim reds, tooltips, descriptions, and the blinks
    // to start.
    void showView(const PassView& view);
    // Only the tooltips and descriptions anew; the lamps and their blinks go on as they are.
    void showTexts(const PassView& view);

signals:
    void settingsRequested();
    void summaryRequested();

public slots:
    // The handler of blink timer Timer3 + index.
    void blinkTick(int timerIndex);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void buildElements();
    void placeElements();
    void updateMask();
    void setPicture(QLabel* picture, const QPixmap& pixmap);
    void startBlink(Lamp lamp, LampColour colour);

    QStringList m_assetDirs;
    Keying m_keying = Keying::Mask;
    PanelLayout m_layout;
    bool m_moveable = false;
    std::array<QLabel*, kElementCount> m_pictures{};
    std::array<QLabel*, kElementCount> m_labels{};
    // Timer3 to Timer12, in the order of core's table of blink timers; a blink group per lamp.
    std::array<QTimer*, kBlinkTimerCount> m_blinkTimers{};
    std::array<BlinkGroup, kLampCount> m_blinkGroups{};
    std::array<bool, kLampCount> m_dimmed{}; // acknowledged: a red lamp shows dim
    // Where the pointer holds the panel during a drag with a button other than the left one.
    std::optional<QPoint> m_dragOffset;
};

} // namespace courivane
