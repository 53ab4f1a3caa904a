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
#include <vector>

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

// Text of the whole file, or of one page (from 1) as it lies on the page; blanks and line
// breaks removed (CJK texts come out spaced).
inline QString PdfText(const QString& path, int page = 0) {
  const QString p = QString::number(page);
  const QStringList pages = page > 0 ? QStringList{"-layout", "-f", p, "-l", p} : QStringList{};
  return RunTool("pdftotext", pages + QStringList{"-enc", "UTF-8", path, "-"}).remove(QRegularExpression(R"(\s)"));
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

// Words of the pages first..last whose boxes (from pdftotext -bbox) overlap another
// word's box on the same page, as "page: word / word"; empty when none do.
inline QStringList OverprintedWords(const QString& path, int first, int last) {
  const QString html = RunTool("pdftotext", {"-bbox", "-f", QString::number(first), "-l", QString::number(last), path, "-"});
  static const QRegularExpression word(
      R"re(<word xMin="([\d.]+)" yMin="([\d.]+)" xMax="([\d.]+)" yMax="([\d.]+)">([^<]*)</word>)re");
  QStringList found;
  const QStringList pages = html.split("<page ");
  for (int p = 1; p < pages.size(); ++p) {
    struct Box { double x0, y0, x1, y1; QString text; };
    std::vector<Box> boxes;
    for (auto it = word.globalMatch(pages[p]); it.hasNext();) {
      const auto m = it.next();
      boxes.push_back({m.captured(1).toDouble(), m.captured(2).toDouble(), m.captured(3).toDouble(),
                       m.captured(4).toDouble(), m.captured(5)});
    }
    constexpr double e = 0.01;  // boxes that only touch do not overlap
    for (std::size_t i = 0; i < boxes.size(); ++i)
      for (std::size_t j = i + 1; j < boxes.size(); ++j) {
        const Box &a = boxes[i], &b = boxes[j];
        if (a.x0 < b.x1 - e && b.x0 < a.x1 - e && a.y0 < b.y1 - e && b.y0 < a.y1 - e)
          found << QString("%1: %2 / %3").arg(first + p - 1).arg(a.text, b.text);
      }
  }
  return found;
}
