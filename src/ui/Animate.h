#pragma once

#include "AviClip.h"

#include <QColor>
#include <QString>
#include <QWidget>

class QTimer;

namespace ui {

// Plays a silent AVI clip in a loop, like the Windows animation control.
//
// setFileName() opens the clip at once; setActive(true) plays it from its first frame to its last at the
// clip's own rate and starts again without end. The frame is drawn centred on the background colour
// (silver unless told otherwise). A clip that cannot be opened raises
// store::StoreError("AVI kann nicht geöffnet werden") and leaves the control empty and stopped.
class Animate : public QWidget
{
    Q_OBJECT

public:
    explicit Animate(QWidget *parent = nullptr);

    void setFileName(const QString &path);
    QString fileName() const { return m_fileName; }

    void setActive(bool active);
    bool isActive() const { return m_active; }

    void setColour(const QColor &colour);
    QColor colour() const { return m_colour; }

    const AviClip &clip() const { return m_clip; }
    int frameCount() const { return m_clip.frameCount(); }
    int currentFrame() const { return m_current; }

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    void nextFrame();

    QString m_fileName;
    AviClip m_clip;
    int m_current = 0;
    bool m_active = false;
    QColor m_colour{192, 192, 192};
    QTimer *m_timer;
};

} // namespace ui
