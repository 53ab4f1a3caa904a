#pragma once
// Looks into PDF files with poppler's command-line tools: page count and size, the text,
// and a page as a picture.

#include <QDateTime>
#include <QDir>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>
#include <cmath>

inline QString RunTool(const QString& program, const QStringList& args) {
  QProcess p;
  p.start(program, args);
  return p.waitForFinished(60000) ? QString::fromUtf8(p.readAllStandardOutput()) : QString();
}

struct PdfInfo {
  int pages = 0;
  bool a4 = false;  // the first page A4 upright
};

inline PdfInfo ReadPdfInfo(const QString& path) {
  const QString out = RunTool("pdfinfo", {path});
  const auto size = QRegularExpression(R"(Page size:\s+([\d.]+) x ([\d.]+) pts)").match(out);
  return {QRegularExpression(R"(Pages:\s+(\d+))").match(out).captured(1).toInt(),
          size.hasMatch() && std::abs(size.captured(1).toDouble() - 595.3) < 2 &&
              std::abs(size.captured(2).toDouble() - 841.9) < 2};
}

// Text of the whole file, blanks and line breaks removed (CJK texts come out spaced).
inline QString PdfText(const QString& path) {
  return RunTool("pdftotext", {"-enc", "UTF-8", path, "-"}).remove(QRegularExpression(R"(\s)"));
}

// The first page rendered at dpi dots per inch.
inline QImage PdfPage(const QString& path, int dpi) {
  QTemporaryDir dir;
  const QString base = dir.filePath("page");
  RunTool("pdftoppm", {"-png", "-r", QString::number(dpi), "-singlefile", path, base});
  return QImage(base + ".png");
}

// Waits (up to timeoutMs) for a PDF in the folder, newer than `since`, whose text holds
// marker; the path, or empty.
inline QString WaitForPdf(const QString& folder, const QDateTime& since, const QString& marker,
                          int timeoutMs) {
  for (int waited = 0; waited <= timeoutMs; waited += 250, QThread::msleep(250))
    for (const QFileInfo& f : QDir(folder).entryInfoList({"*.pdf"}, QDir::Files, QDir::Time)) {
      if (f.lastModified() < since.addSecs(-1)) break;
      if (PdfText(f.filePath()).contains(marker)) return f.filePath();
    }
  return {};
}
