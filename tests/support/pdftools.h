#pragma once
// Looks into PDF files with poppler's command-line tools: page count and size, the text,
// and a page as a picture.

#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QString>
#include <QTemporaryDir>
#include <QThread>
#include <QDateTime>
#include <cmath>

inline QString RunTool(const QString& program, const QStringList& args) {
  QProcess p;
  p.start(program, args);
  if (!p.waitForFinished(60000)) return {};
  return QString::fromUtf8(p.readAllStandardOutput());
}

struct PdfInfo {
  int pages = 0;
  double widthPt = 0, heightPt = 0;  // first page
};

inline PdfInfo ReadPdfInfo(const QString& path) {
  PdfInfo info;
  const QString out = RunTool("pdfinfo", {path});
  const auto pages = QRegularExpression(R"(Pages:\s+(\d+))").match(out);
  if (pages.hasMatch()) info.pages = pages.captured(1).toInt();
  const auto size = QRegularExpression(R"(Page size:\s+([\d.]+) x ([\d.]+) pts)").match(out);
  if (size.hasMatch()) {
    info.widthPt = size.captured(1).toDouble();
    info.heightPt = size.captured(2).toDouble();
  }
  return info;
}

inline bool IsA4(const PdfInfo& info) {
  return std::abs(info.widthPt - 595.3) < 2 && std::abs(info.heightPt - 841.9) < 2;
}

// Text of the whole file, blanks and line breaks removed (CJK texts come out spaced).
inline QString PdfText(const QString& path) {
  QString text = RunTool("pdftotext", {"-enc", "UTF-8", path, "-"});
  text.remove(QRegularExpression(R"(\s)"));
  return text;
}

// The first page rendered at dpi dots per inch.
inline QImage PdfPage(const QString& path, int dpi) {
  QTemporaryDir dir;
  const QString base = dir.filePath("page");
  RunTool("pdftoppm", {"-png", "-r", QString::number(dpi), "-f", "1", "-l", "1", "-singlefile",
                       path, base});
  return QImage(base + ".png");
}

// Waits (up to timeoutMs) for a PDF in the folder, newer than `since`, whose text holds
// marker; the path, or empty.
inline QString WaitForPdf(const QString& folder, const QDateTime& since, const QString& marker,
                          int timeoutMs) {
  for (int waited = 0; waited <= timeoutMs; waited += 250) {
    const QFileInfoList files = QDir(folder).entryInfoList({"*.pdf"}, QDir::Files, QDir::Time);
    for (const QFileInfo& f : files) {
      if (f.lastModified() < since.addSecs(-1)) break;
      if (PdfText(f.filePath()).contains(marker)) return f.filePath();
    }
    QThread::msleep(250);
  }
  return {};
}
