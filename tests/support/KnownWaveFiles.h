#pragma once

#include <string>
#include <vector>

#include "tests/support/TemporaryFolder.h"

// The wave files that the tests holding two loads or two painters to each other run over:
// the fuzzer's seed corpus, one file per shape the reader tells apart, written into seeds by
// the fuzzer's own seed writer; the tests' fixtures; and the samples. Sorted within each
// source; empty when a source cannot be read or holds no wave file.
std::vector<std::string> KnownWaveFiles(const TemporaryFolder& seeds);
