// A compact two-channel level meter for the status bar: the left channel's bar above the
// right's, each a row of segments lit from the left. It shows the player's levels, whose 0 dB
// is 15 dB below full scale: the bars span 60 dB up to full scale.
#pragma once

#include <QWidget>

#include "player/SoundPlayer.h"

namespace sonvex {

class LevelMeter : public QWidget {
    Q_OBJECT
public:
    // The player's levels at the ends of the bars and at full scale.
    static constexpr int kFloor = -45;
    static constexpr int kFullScale = 15;
    // Segments lit yellow from kWarn, red from kHot (-12 and -3 dB below full scale).
    static constexpr int kWarn = 3;
    static constexpr int kHot = 12;

    explicit LevelMeter(QWidget* parent = nullptr);

    // The levels of one buffer; a single channel shows on both bars.
    void SetLevels(const LSoundLevels& levels);
    // Both bars dark (silence).
    void Clear();
    int Level(int channel) const { return iLevel_[channel ? 1 : 0]; }
    // How many of the bar's segments a level lights.
    static int LitSegments(int level);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent* e) override;

private:
    int iLevel_[2] = {-127, -127};
};

}  // namespace sonvex
