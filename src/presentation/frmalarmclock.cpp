#include "presentation/frmalarmclock.h"

#include <QApplication>
#include <QAudioOutput>
#include <QCloseEvent>
#include <QLabel>
#include <QLinearGradient>
#include <QMediaPlayer>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>
#include <numbers>

#include "core/program.h"
#include "presentation/bringtofront.h"
#include "presentation/translateform.h"

// The ring lives in the presentation library, a static one: its resource has
// to be pulled in by hand or the linker drops it.
static void initAlarmClockResources() { Q_INIT_RESOURCE(alarmclock); }

namespace qv {

// ------------------------------------------------------------ the ring

ResourceRingSound::ResourceRingSound() = default;

ResourceRingSound::~ResourceRingSound() {
    if (player_) {
        QObject::disconnect(player_.get(), nullptr, nullptr, nullptr);
        player_->stop();
    }
}

void ResourceRingSound::ensurePlayer() {
    if (player_) return;
    initAlarmClockResources();
    player_ = std::make_unique<QMediaPlayer>();
    output_ = std::make_unique<QAudioOutput>();
    player_->setAudioOutput(output_.get());
    // Connected before the source is set: errors may come at once. A failing
    // sound leaves the clock ringing silently until its ring end.
    QObject::connect(player_.get(), &QMediaPlayer::mediaStatusChanged, player_.get(),
                     [this](QMediaPlayer::MediaStatus s) {
                         if (s != QMediaPlayer::EndOfMedia || !playing_) return;
                         ++loops_;
                         player_->setPosition(0);
                         player_->play();
                     });
    player_->setSource(QUrl(QStringLiteral("qrc:/sounds/ring.wav")));
}

void ResourceRingSound::start() {
    ensurePlayer();
    playing_ = true;
    player_->setPosition(0);
    player_->play();
}

void ResourceRingSound::stop() {
    playing_ = false;
    if (player_) player_->stop();
}

// ------------------------------------------------------------ the window

frmAlarmClock::frmAlarmClock(Program& p, QWidget* parent)
    : QWidget(parent, Qt::Window), p_(p), sound_(std::make_unique<ResourceRingSound>()) {
    initAlarmClockResources();
    setObjectName(QStringLiteral("frmAlarmClock"));
    setWindowTitle(QStringLiteral("Alarm Clock"));
    setWindowIcon(QApplication::windowIcon());
    for (int i = 0; i < kFaceCount; ++i) faces_.push_back(faceImage(i));
    hands_[0] = handImage(0);
    hands_[1] = handImage(1);

    lblSnoozing_ = new QLabel(QStringLiteral("Snoozing - click here to stop"), this);
    lblSnoozing_->setObjectName(QStringLiteral("lblSnoozing"));
    lblSnoozing_->setAlignment(Qt::AlignCenter);
    lblSnoozing_->setAutoFillBackground(true);
    lblSnoozing_->setFrameShape(QFrame::Box);
    lblSnoozing_->setMargin(4);
    lblSnoozing_->setCursor(Qt::PointingHandCursor);
    lblSnoozing_->installEventFilter(this);
    lblSnoozing_->hide();
    auto* layout = new QVBoxLayout(this);
    layout->addStretch(1);
    layout->addWidget(lblSnoozing_, 0, Qt::AlignHCenter);

    tmrTimer_ = new QTimer(this);
    tmrTimer_->setObjectName(QStringLiteral("tmrTimer"));
    tmrTimer_->setInterval(1000);
    connect(tmrTimer_, &QTimer::timeout, this, &frmAlarmClock::timerTick);
    tmrTimer_->start();

    translate();
    resize(sizeHint());
    keepAnswerable(this);
}

frmAlarmClock::~frmAlarmClock() {
    if (sound_) sound_->stop();
}

QSize frmAlarmClock::sizeHint() const { return {kFaceWidth * 3 / 4, kFaceHeight * 3 / 4}; }

void frmAlarmClock::setRingSound(std::unique_ptr<RingSound> sound) {
    if (sound_) sound_->stop();
    sound_ = std::move(sound);
}

void frmAlarmClock::translate() { translateForm(this, p_.translation); }

void frmAlarmClock::bringToFront() { qv::bringToFront(this); }

void frmAlarmClock::showAlarmClock(int face) {
    face_ = std::clamp(face, 0, kFaceCount - 1);
    const bool wasVisible = isVisible();
    show();
    if (!wasVisible) bringToFront();
    update();
}

void frmAlarmClock::soundAlarmClock() {
    if (!isVisible()) bringToFront();
    state_ = kRinging;
    ringEnd_ = addToDate(p_.now(), p_.settings.acmm, kMinutes);
    lblSnoozing_->hide();
    if (sound_) sound_->start();
    tmrTimer_->start();
}

void frmAlarmClock::snooze() {
    if (state_ != kRinging) return;
    state_ = kSnoozing;
    if (sound_) sound_->stop();
    lblSnoozing_->show();
    snoozeEnd_ = addToDate(p_.now(), p_.settings.acst, kMinutes);
}

void frmAlarmClock::stopSnoozing() {
    if (state_ != kSnoozing) return;
    state_ = kIdle;
    lblSnoozing_->hide();
}

void frmAlarmClock::doubleClicked() {
    if (state_ == kIdle) return;
    snooze();
    soundAlarmClock();
}

void frmAlarmClock::stopSounding() {
    if (state_ != kRinging) return;
    state_ = kIdle;
    if (sound_) sound_->stop();
}

void frmAlarmClock::timerTick() {
    const DateTime now = p_.now();
    if (state_ == kSnoozing && now >= snoozeEnd_) soundAlarmClock();
    if (state_ == kRinging && now >= ringEnd_) stopSounding();
    if (now.minute() != drawnMinute_) update();
}

void frmAlarmClock::mousePressEvent(QMouseEvent* event) {
    snooze();
    event->accept();
}

void frmAlarmClock::mouseDoubleClickEvent(QMouseEvent* event) {
    doubleClicked();
    event->accept();
}

bool frmAlarmClock::eventFilter(QObject* watched, QEvent* event) {
    if (watched == lblSnoozing_) {
        if (event->type() == QEvent::MouseButtonPress) {
            stopSnoozing();
            return true;
        }
        // Neither half of a double click on the label reaches the window.
        if (event->type() == QEvent::MouseButtonDblClick) return true;
    }
    return QWidget::eventFilter(watched, event);
}

void frmAlarmClock::closeEvent(QCloseEvent* event) {
    stopSounding();
    // A closed clock forgets its snooze, as one opened afresh starts idle.
    stopSnoozing();
    event->accept();
}

std::pair<double, double> frmAlarmClock::handAngles(int hour, int minute) {
    constexpr double kTurn = 2 * std::numbers::pi;
    const double hourAngle = (((hour % 12) * 60 + minute) / 720.0) * kTurn - kTurn / 4;
    const double minuteAngle = (minute / 60.0) * kTurn - kTurn / 4;
    return {hourAngle, minuteAngle};
}

void frmAlarmClock::paintEvent(QPaintEvent*) {
    QPainter g(this);
    g.fillRect(rect(), palette().window());
    g.setRenderHint(QPainter::Antialiasing);
    g.setRenderHint(QPainter::SmoothPixmapTransform);
    const double scale = std::min(width() / double(kFaceWidth), height() / double(kFaceHeight));
    g.translate((width() - kFaceWidth * scale) / 2, (height() - kFaceHeight * scale) / 2);
    g.scale(scale, scale);
    g.drawImage(0, 0, faces_[static_cast<std::size_t>(face_)]);

    const DateTime now = p_.now();
    drawnMinute_ = now.minute();
    const auto [hourAngle, minuteAngle] = handAngles(now.hour(), now.minute());
    const double angles[2] = {hourAngle, minuteAngle};
    for (int i = 0; i < 2; ++i) {
        // The hand pictures point up (angle -pi/2); their pivot is 17 pixels
        // below the middle of their bottom edge.
        const QImage& hand = hands_[i];
        g.save();
        g.translate(kCentreX, kCentreY);
        g.rotate((angles[i] + std::numbers::pi / 2) * 180.0 / std::numbers::pi);
        g.drawImage(QPointF(-hand.width() / 2.0, -(hand.height() + 17.0)), hand);
        g.restore();
    }
    // The cap over the hands' pivot.
    QRadialGradient cap(kCentreX - 5, kCentreY - 5, 22);
    cap.setColorAt(0, QColor(250, 235, 180));
    cap.setColorAt(1, QColor(150, 110, 40));
    g.setPen(QPen(QColor(90, 60, 20), 2));
    g.setBrush(cap);
    g.drawEllipse(QPointF(kCentreX, kCentreY), 19, 19);
}

// ------------------------------------------------------------ artwork

QImage frmAlarmClock::faceImage(int index) {
    const bool night = index == 1;
    QImage img(kFaceWidth, kFaceHeight, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    QPainter g(&img);
    g.setRenderHint(QPainter::Antialiasing);
    const QPointF c(kCentreX, kCentreY);
    const QColor body = night ? QColor(40, 60, 110) : QColor(190, 30, 35);
    const QColor bodyDark = body.darker(160);
    const QColor dial = night ? QColor(20, 24, 40) : QColor(252, 248, 236);
    const QColor ink = night ? QColor(170, 230, 200) : QColor(30, 30, 30);

    // Legs.
    g.setPen(Qt::NoPen);
    g.setBrush(bodyDark);
    for (int side : {-1, 1}) {
        QPainterPath leg;
        leg.moveTo(c.x() + side * 120, c.y() + 180);
        leg.lineTo(c.x() + side * 175, c.y() + 248);
        leg.lineTo(c.x() + side * 150, c.y() + 252);
        leg.lineTo(c.x() + side * 95, c.y() + 195);
        g.drawPath(leg);
    }
    // Bells with their bridge and hammer.
    for (int side : {-1, 1}) {
        const QPointF bell(c.x() + side * 150, c.y() - 185);
        QRadialGradient shine(bell + QPointF(-15, -20), 90);
        shine.setColorAt(0, QColor(255, 245, 200));
        shine.setColorAt(0.5, QColor(215, 170, 60));
        shine.setColorAt(1, QColor(130, 90, 20));
        g.setBrush(shine);
        g.setPen(QPen(QColor(100, 70, 10), 3));
        g.drawChord(QRectF(bell.x() - 75, bell.y() - 60, 150, 150), 0, 180 * 16);
        g.drawChord(QRectF(bell.x() - 75, bell.y() - 10, 150, 40), 180 * 16, 180 * 16);
    }
    g.setPen(QPen(QColor(100, 70, 10), 10, Qt::SolidLine, Qt::RoundCap));
    g.drawLine(QPointF(c.x(), c.y() - 215), QPointF(c.x(), c.y() - 250));
    g.drawLine(QPointF(c.x() - 40, c.y() - 250), QPointF(c.x() + 40, c.y() - 250));

    // Case and dial.
    QRadialGradient caseShade(c + QPointF(-60, -70), 260);
    caseShade.setColorAt(0, body.lighter(150));
    caseShade.setColorAt(1, bodyDark);
    g.setBrush(caseShade);
    g.setPen(QPen(bodyDark.darker(130), 4));
    g.drawEllipse(c, 222, 222);
    g.setBrush(dial);
    g.setPen(QPen(bodyDark, 3));
    g.drawEllipse(c, 190, 190);

    // Minute and hour marks.
    for (int m = 0; m < 60; ++m) {
        const double a = m / 60.0 * 2 * std::numbers::pi;
        const bool hourMark = m % 5 == 0;
        const double outer = 180, inner = hourMark ? 160 : 171;
        g.setPen(QPen(ink, hourMark ? 6 : 2, Qt::SolidLine, Qt::RoundCap));
        g.drawLine(QPointF(c.x() + inner * std::sin(a), c.y() - inner * std::cos(a)),
                   QPointF(c.x() + outer * std::sin(a), c.y() - outer * std::cos(a)));
    }
    QFont font(QStringLiteral("Sans Serif"));
    font.setPixelSize(34);
    font.setBold(true);
    g.setFont(font);
    g.setPen(ink);
    for (int h = 1; h <= 12; ++h) {
        const double a = h / 12.0 * 2 * std::numbers::pi;
        const QPointF at(c.x() + 132 * std::sin(a), c.y() - 132 * std::cos(a));
        g.drawText(QRectF(at.x() - 30, at.y() - 22, 60, 44), Qt::AlignCenter, QString::number(h));
    }
    return img;
}

QImage frmAlarmClock::handImage(int index) {
    // Hour hand short and broad, minute hand long and slim; both point up and
    // end 17 pixels short of the pivot, which the cap covers.
    const int w = index == 0 ? 22 : 14;
    const int h = index == 0 ? 95 : 150;
    QImage img(w, h, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    QPainter g(&img);
    g.setRenderHint(QPainter::Antialiasing);
    QPainterPath path;
    path.moveTo(w / 2.0, 0);
    path.lineTo(w - 1.0, h * 0.22);
    path.lineTo(w * 0.7, h);
    path.lineTo(w * 0.3, h);
    path.lineTo(1.0, h * 0.22);
    path.closeSubpath();
    QLinearGradient shade(0, 0, w, 0);
    shade.setColorAt(0, QColor(70, 70, 80));
    shade.setColorAt(0.5, QColor(20, 20, 25));
    shade.setColorAt(1, QColor(60, 60, 70));
    g.setBrush(shade);
    g.setPen(QPen(QColor(235, 235, 235), 1.2));
    g.drawPath(path);
    return img;
}

}  // namespace qv
