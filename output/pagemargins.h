#pragma once
// The margins of a printed A4 page, shared by the chart page and the report pages, in
// the page units of whatever draws it (preview image or paper).

struct PageMargins {
  int top = 0;     // T
  int bottom = 0;  // B
  int left = 0;    // L, also the right margin
  int usable = 0;  // U = H - (T + B), the body height; may be negative
};

// Margins as whole percentages of the page (top, bottom, left/right); each margin
// rounds up (the page less the truncated remainder): H 7016 at 5 % gives 351.
PageMargins ComputeMargins(int width, int height, int topPercent, int bottomPercent,
                           int leftPercent);
