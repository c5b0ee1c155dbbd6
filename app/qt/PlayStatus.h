// The status bar's line for the playing file: "Playing name  0:12 / 3:45" and, at its right
// end, the level meter; shown from the player's start to its stop in place of the notices.
#pragma once

#include <QWidget>
#include <functional>

#include "app/MainDialog.h"

class QLabel;

namespace sonvex {

class LevelMeter;

// m:ss, or h:mm:ss when bHours; whole seconds, rounded down.
QString PlayTimeText(int32_t ms, bool bHours);

class PlayStatus : public QWidget, public LSoundPlayerNotify {
    Q_OBJECT
public:
    // Reads the playing row and its length from dlg when playing starts.
    PlayStatus(const MainDialog& dlg, QWidget* parent);

    // Called after playing has started or stopped (the status bar shows the notices again).
    void SetPlayingChangedHandler(std::function<void()> f) { onChanged_ = std::move(f); }
    QString Text() const;
    LevelMeter* Meter() const { return pMeter_; }

    void OnPlay(int iCookie) override;
    void OnStop(int iCookie) override;
    void OnPosition(int iCookie, int32_t ms) override;
    void OnLevels(const LSoundLevels& levels, int iCookie) override;

private:
    const MainDialog& dlg_;
    QLabel* pText_;
    LevelMeter* pMeter_;
    QString szName_;
    int32_t nLengthMs_ = 0;
    std::function<void()> onChanged_;
};

}  // namespace sonvex
