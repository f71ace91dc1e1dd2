# Front door for people and CI. Each target installs what is missing and builds first.
BUILD ?= build
ASAN_BUILD ?= build-asan
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?=

.PHONY: all deps build test test-asan fuzz-check demo bench fuzz install clean

all: build

deps:
	@scripts/install-deps

$(BUILD)/build.ninja:
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQV_BUILD_BENCH=OFF $(CMAKE_FLAGS)

build: deps $(BUILD)/build.ninja
	cmake --build $(BUILD) -j $(JOBS)

test: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

# The sanitizer build: clang with ASan and UBSan and libFuzzer's coverage hooks, so that the
# same build runs the tests and the fuzz targets (`make fuzz-check`). -O1 keeps the hostile-input
# tests within their time bounds under all that instrumentation.
$(ASAN_BUILD)/build.ninja:
	CC=clang CXX=clang++ cmake -S . -B $(ASAN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug '-DCMAKE_CXX_FLAGS_DEBUG=-g -O1' \
	  -DQV_FUZZ=ON -DQV_BUILD_BENCH=OFF $(CMAKE_FLAGS)

test-asan: deps $(ASAN_BUILD)/build.ninja
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	cd $(ASAN_BUILD) && ASAN_OPTIONS=detect_leaks=1 LSAN_OPTIONS=suppressions=$(CURDIR)/tests/fuzz/lsan.supp \
	  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 ctest --output-on-failure -j $(JOBS)

# Every fuzz target for 30 seconds on the sanitizer build: a regression check, not a search.
fuzz-check: deps $(ASAN_BUILD)/build.ninja
	FUZZ_BUILD=$(CURDIR)/$(ASAN_BUILD) FUZZ_SECONDS=30 JOBS=$(JOBS) scripts/fuzz

demo: build
	@scripts/demo $(BUILD)

# Benchmarks want an optimised build of their own.
bench: deps
	cmake -S . -B build-release -G Ninja -DCMAKE_BUILD_TYPE=Release -DQV_BUILD_TESTS=OFF
	cmake --build build-release -j $(JOBS)
	build-release/bin/parser_bench
	build-release/bin/pdf_bench
	build-release/bin/merge_bench
	bench/run-merge-bench.sh build-release

# libFuzzer targets, built with clang in build-fuzz/; FUZZ_SECONDS per target (default 180).
fuzz: deps
	@scripts/fuzz

install: build
	cmake --install $(BUILD)

clean:
	rm -rf $(BUILD) $(ASAN_BUILD)
