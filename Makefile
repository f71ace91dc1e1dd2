# Front door for people and CI. Each target first installs the package groups it needs
# (scripts/install-deps; silent when nothing is missing), then configures and builds what it uses.
BUILD ?= build
ASAN_BUILD ?= build-asan
TSAN_BUILD ?= build-tsan
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?=
PREFIX ?= /usr/local

# What the main job needs: the command line, the stand-in host and the plug-in bundle it loads.
PROGRAMS = quorvel_cli quorvel_host quorvel_plugin

.PHONY: all deps build test test-asan test-tsan fuzz-check demo bench fuzz install clean

all: build

install_deps = @scripts/install-deps --quiet $(1)

CONFIGURE = cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQV_BUILD_BENCH=OFF $(CMAKE_FLAGS)
# The sanitizer build: clang with ASan and UBSan and libFuzzer's coverage hooks, so that the
# same build runs the tests and the fuzz targets (`make fuzz-check`). -O1 keeps the hostile-input
# tests within their time bounds under all that instrumentation.
CONFIGURE_ASAN = CC=clang CXX=clang++ cmake -S . -B $(ASAN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug \
  '-DCMAKE_CXX_FLAGS_DEBUG=-g -O1' -DQV_FUZZ=ON -DQV_BUILD_BENCH=OFF $(CMAKE_FLAGS)

# $(call configure,FOLDER,COMMAND,ON|OFF): configures FOLDER the first time, with the tests ON or
# OFF (configuring the tests needs the test packages, which the programs alone do not). A folder
# configured without tests gets them turned on by the first target that wants them; nothing built
# already is built again.
define configure
	@if [ ! -f $(1)/build.ninja ]; then \
	  echo '$(subst ','\'',$(2)) -DQV_BUILD_TESTS=$(3)'; $(2) -DQV_BUILD_TESTS=$(3); \
	elif [ $(3) = ON ] && ! grep -qx 'QV_BUILD_TESTS:BOOL=ON' $(1)/CMakeCache.txt; then \
	  echo 'cmake -B $(1) -DQV_BUILD_TESTS=ON'; cmake -B $(1) -DQV_BUILD_TESTS=ON; \
	fi
endef

# Every package group at once, for those who want the machine ready for any target.
deps:
	@scripts/install-deps all

# The programs only, into $(BUILD)/bin/.
build:
	$(call install_deps,build)
	$(call configure,$(BUILD),$(CONFIGURE),OFF)
	cmake --build $(BUILD) -j $(JOBS) --target $(PROGRAMS)

# Everything in $(BUILD), every test program included, then every test.
test:
	$(call install_deps,test)
	$(call configure,$(BUILD),$(CONFIGURE),ON)
	cmake --build $(BUILD) -j $(JOBS)
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

test-asan:
	$(call install_deps,test fuzz)
	$(call configure,$(ASAN_BUILD),$(CONFIGURE_ASAN),ON)
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	cd $(ASAN_BUILD) && ASAN_OPTIONS=detect_leaks=1 LSAN_OPTIONS=suppressions=$(CURDIR)/tests/fuzz/lsan.supp \
	  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 ctest --output-on-failure -j $(JOBS)

# ThreadSanitizer on the tests that run merges on several threads (the engine's ordering, stops,
# and the command line interrupted mid-run). Not part of CI: slow, and only about threads. Clang
# with -O1, as the sanitizer build; without Qt, which none of these tests needs. Races inside
# third-party libraries are suppressed in tests/tsan.supp, each with its reason. Left out: two
# signals at once, whose second one the sanitizer's own signal handling keeps from its default
# action (the program exits 130 instead of being killed), which says nothing about threads.
CONFIGURE_TSAN = CC=clang CXX=clang++ cmake -S . -B $(TSAN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug \
  '-DCMAKE_CXX_FLAGS_DEBUG=-g -O1' -DQV_TSAN=ON -DQV_QT=OFF -DQV_BUILD_BENCH=OFF $(CMAKE_FLAGS)
TSAN_ENV = TSAN_OPTIONS='halt_on_error=1 second_deadlock_stack=1 suppressions=$(CURDIR)/tests/tsan.supp'

test-tsan:
	$(call install_deps,test fuzz)
	$(call configure,$(TSAN_BUILD),$(CONFIGURE_TSAN),ON)
	cmake --build $(TSAN_BUILD) -j $(JOBS) --target test_engine test_e2e test_hostile quorvel_cli
	$(TSAN_ENV) $(TSAN_BUILD)/bin/test_engine --gtest_filter='Parallel.*:ProduceInOrder.*:StopAndSelect.*:Combined.*'
	$(TSAN_ENV) $(TSAN_BUILD)/bin/test_e2e \
	  --gtest_filter='CliInterrupt.*:CliShard.*:CliProgress.*:-CliInterrupt.SigtermStopsACombinedMergeWithoutItsFileAndASecondSignalKills'
	$(TSAN_ENV) $(TSAN_BUILD)/bin/test_hostile --gtest_filter='KilledMerge.*:OutputFolderSwap.*'

# Every fuzz target for 30 seconds on the sanitizer build: a regression check, not a search. It
# builds only the libraries and the fuzz targets, so it needs no test packages.
fuzz-check:
	$(call install_deps,fuzz)
	$(call configure,$(ASAN_BUILD),$(CONFIGURE_ASAN),OFF)
	FUZZ_BUILD=$(CURDIR)/$(ASAN_BUILD) FUZZ_SECONDS=30 JOBS=$(JOBS) scripts/fuzz

demo: build
	@scripts/demo $(BUILD)

# Benchmarks want an optimised build of their own (Google Benchmark comes with the test group).
bench:
	$(call install_deps,test)
	cmake -S . -B build-release -G Ninja -DCMAKE_BUILD_TYPE=Release -DQV_BUILD_TESTS=OFF
	cmake --build build-release -j $(JOBS)
	build-release/bin/parser_bench
	build-release/bin/pdf_bench
	build-release/bin/merge_bench
	bench/run-merge-bench.sh build-release

# libFuzzer targets, built with clang in build-fuzz/; FUZZ_SECONDS per target (default 180).
fuzz:
	$(call install_deps,fuzz)
	@scripts/fuzz

# The programs, the plug-in bundle and the strings tables under PREFIX (bin/, lib/, share/):
# `make install PREFIX=$$HOME/.local` puts quorvel on a user's PATH without root.
install: build
	cmake --install $(BUILD) --prefix $(PREFIX)

clean:
	rm -rf $(BUILD) $(ASAN_BUILD)
