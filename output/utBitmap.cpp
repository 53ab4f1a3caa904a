#include "output/utBitmap.h"

#include <QPainter>
#include <QTransform>
#include <algorithm>

QImage RotateQuarterCounterclockwise(const QImage& picture) {
  // One exact transform: a right-angle turn moves pixels without resampling.
  return picture.transformed(QTransform().rotate(-90), Qt::FastTransformation);
}

UCanvas::UCanvas() { Rebuild(); }

void UCanvas::SetWidth(int width) {
  if (width == width_) return;
  width_ = width;
  Rebuild();
}

void UCanvas::SetHeight(int height) {
  if (height == height_) return;
  height_ = height;
  Rebuild();
}

void UCanvas::Rebuild() {
  ++rebuilds_;
  picture_ = QImage(std::max(width_, 1), std::max(height_, 1), QImage::Format_RGB32);
  picture_.fill(Qt::white);
  QPainter p(&picture_);
  p.setPen(Qt::black);
  p.drawRect(0, 0, picture_.width() - 1, picture_.height() - 1);
}

bool UCanvas::SetSource(const QImage& source) {
  if (source.isNull() || width_ < 1 || height_ < 1) {
    picture_ = QImage();
    return false;
  }
  // A picture taken on a high-density screen holds more pixels than the chart has: it is
  // brought to the chart's own size first.
  QImage picture = source;
  if (picture.devicePixelRatio() != 1.0) {
    const QSize own = (QSizeF(picture.size()) / picture.devicePixelRatio()).toSize();
    picture = picture.scaled(own, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    picture.setDevicePixelRatio(1.0);
  }
  QImage copy(width_, height_, QImage::Format_RGB32);
  copy.fill(Qt::white);
  QPainter p(&copy);
  p.drawImage(QPoint(0, 0), picture, QRect(0, 0, width_, height_));
  p.end();
  picture_ = std::move(copy);
  return true;
}

void UCanvas::Rotate270() {
  if (picture_.isNull()) return;
  picture_ = RotateQuarterCounterclockwise(picture_);
  std::swap(width_, height_);
}

utBitmap::utBitmap() : width_(canvas_.Width()), height_(canvas_.Height()) {}

void utBitmap::SetWidth(int width) {
  if (width == width_) return;
  width_ = width;
  canvas_.SetWidth(width);
}

void utBitmap::SetHeight(int height) {
  if (height == height_) return;
  height_ = height;
  canvas_.SetHeight(height);
}
