#pragma once
// The chart print's picture: a canvas that takes a copy of the chart's picture and turns
// it a quarter turn counterclockwise, so the chart's width runs along the height of a
// portrait page. The print launcher makes one holder per print and hands it to the chart
// print preview, which draws the turned picture on the preview and on paper.

#include <QImage>

// Turns a picture a quarter turn counterclockwise as seen on screen: the top edge becomes
// the left edge, the top-right corner lands at the top-left.
QImage RotateQuarterCounterclockwise(const QImage& picture);

class UCanvas {
 public:
  UCanvas();  // 500 x 500, white with a one-pixel black outline
  UCanvas(const UCanvas&) = delete;
  UCanvas& operator=(const UCanvas&) = delete;

  int Width() const { return width_; }
  int Height() const { return height_; }
  // A changed size gives a fresh white picture with its outline; an equal one does nothing.
  void SetWidth(int width);
  void SetHeight(int height);
  // Takes a copy of the source's rectangle (0, 0, width, height), padded white where the
  // source is smaller. False, leaving the canvas without a picture, when the source has
  // none (a failed capture).
  bool SetSource(const QImage& source);
  // The quarter turn; width and height are exchanged.
  void Rotate270();

  // The picture; null once a capture failed.
  const QImage& Picture() const { return picture_; }
  bool HasPicture() const { return !picture_.isNull(); }
  // Times the picture was rebuilt from scratch (size changes).
  int Rebuilds() const { return rebuilds_; }

 private:
  void Rebuild();

  QImage picture_;
  int width_ = 500;
  int height_ = 500;
  int rebuilds_ = 0;
};

class utBitmap {
 public:
  utBitmap();
  utBitmap(const utBitmap&) = delete;
  utBitmap& operator=(const utBitmap&) = delete;

  // Passed on to the canvas when the value differs from the holder's own.
  void SetWidth(int width);
  void SetHeight(int height);
  int Width() const { return width_; }
  int Height() const { return height_; }
  UCanvas* GetCanvas() { return &canvas_; }
  const UCanvas* GetCanvas() const { return &canvas_; }

 private:
  UCanvas canvas_;
  int width_;
  int height_;
};
