# Thin wrapper over CMake. `make demo` and `make test` install what is
# missing, configure, build and run.
BUILD ?= build
JOBS ?= $(shell nproc 2>/dev/null || echo 2)
# Debian's interpreter, which python3-scipy installs into.
PYTHON ?= /usr/bin/python3

.PHONY: all deps configure build demo demo-sequences test test-slow test-platforms test-log dist package sanitize valgrind fuzz bench bench-octave bench-bestmatch clean

all: build

deps:
	@sh cmake/install_dependencies.sh

configure: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release

build: configure
	cmake --build $(BUILD) -j $(JOBS)

demo: build
	cd examples && octave-cli --no-init-file --quiet --no-history --eval "addpath('../$(BUILD)/octave'); hmm_demo"

# One model fitted to 2,000 sequences on one and two worker processes.
demo-sequences: build
	cd examples && octave-cli --no-init-file --quiet --no-history --eval "addpath('../$(BUILD)/octave'); hmm_sequences_demo"

test: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

# Checks too slow for every run: bestmatch on problems up to 2000-by-2000
# against the literal step machine.
test-slow: build
	cd $(BUILD) && ctest -C slow -L slow --output-on-failure

# Linux x86, Windows x86-64/x86 and macOS x86-64 builds beside the native
# one, their tests (natively, under wine, the Mach-O structure) and the
# bit-for-bit comparison of all builds (macOS through a Mach-O loader).
test-platforms: build
	BUILD=$(BUILD) JOBS=$(JOBS) sh cmake/test_platforms.sh

# The natural logarithm against the C library on many more arguments.
test-log: build
	NATURAL_LOG_ARGUMENTS=50000000 $(BUILD)/tests/chainsweep_tests --gtest_filter='NaturalLog.*'

# One archive per platform in dist/: plug-ins, help files, Contents.m,
# README, checksums; and the Octave package.
dist: build
	BUILD=$(BUILD) JOBS=$(JOBS) sh cmake/dist.sh

# The Octave package dist/hmm-plugins-VERSION.tar.gz, for pkg install.
package: configure
	cmake --build $(BUILD) --target octave_package

# The C++ tests under AddressSanitizer and UBSan (the real hosts are left out).
sanitize: deps
	cmake -S . -B $(BUILD)-sanitize -DCMAKE_BUILD_TYPE=Debug -DPLUGINS_SANITIZE=ON
	cmake --build $(BUILD)-sanitize -j $(JOBS)
	cd $(BUILD)-sanitize && ctest --output-on-failure -j $(JOBS) -E '^octave_'

# The C++ test programs under valgrind's memcheck.
valgrind: build
	@for t in $(BUILD)/tests/*_tests; do \
	  echo "== $$t"; \
	  valgrind --quiet --error-exitcode=1 --leak-check=full --errors-for-leak-kinds=definite,indirect $$t --gtest_brief=1 || exit 1; \
	done

# libFuzzer programs, one per plug-in, built with clang under ASan/UBSan in
# their own folder and run FUZZ_SECONDS each over a copy of tests/fuzz/corpus.
FUZZ_BUILD ?= $(BUILD)-fuzz
FUZZ_SECONDS ?= 60
fuzz:
	@sh cmake/install_dependencies.sh fuzz
	cmake -S . -B $(FUZZ_BUILD) -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_COMPILER=clang++ -DPLUGINS_FUZZ=ON
	cmake --build $(FUZZ_BUILD) -j $(JOBS) --target fuzz_targets
	sh tests/fuzz/run_fuzzers.sh $(FUZZ_BUILD) $(FUZZ_SECONDS)

bench: build
	@for b in $(BUILD)/bench/*_bench; do $$b; done

# Side-by-side timings in Octave: the plug-ins against the m-code a user would
# write instead, one table per plug-in. BENCH_ONLY=chainsweep runs one table.
bench-octave: build
	cd bench/octave && octave-cli --no-init-file --quiet --no-history --eval "addpath('../../$(BUILD)/octave'); run_benchmarks('$(BENCH_ONLY)')"

# bestmatch against its dense machine, the literal step machine and scipy's
# linear_sum_assignment on the same matrices, one table (installs
# python3-scipy when missing).
bench-bestmatch: build
	@sh cmake/install_dependencies.sh bench
	$(PYTHON) bench/bestmatch_compare.py $(BUILD)/bench/bestmatch_timer

clean:
	rm -rf $(BUILD) $(BUILD)-sanitize $(BUILD)-fuzz $(BUILD)-i686 $(BUILD)-win64 $(BUILD)-win32 $(BUILD)-macos $(BUILD)-platforms dist
