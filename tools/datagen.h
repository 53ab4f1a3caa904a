#pragma once
// Writes data files in the instruments' format, for tests, benchmarks and the demo.
