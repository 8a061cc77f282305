# Thin wrapper over CMake. `make demo` and `make test` install what is
# missing, configure, build and run.
BUILD ?= build
JOBS ?= $(shell nproc 2>/dev/null || echo 2)
# Debian's interpreter, which python3-scipy installs into.
PYTHON ?= /usr/bin/python3

.PHONY: all deps configure build demo test sanitize valgrind bench bench-octave bench-bestmatch clean

all: build

deps:
	@sh cmake/install_dependencies.sh

configure: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release

build: configure
	cmake --build $(BUILD) -j $(JOBS)

demo: build
	cd examples && octave-cli --no-init-file --quiet --no-history --eval "addpath('../$(BUILD)/octave'); hmm_demo"

test: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

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

bench: build
	@for b in $(BUILD)/bench/*_bench; do $$b; done

# Side-by-side timings in Octave: the plug-ins against the m-code a user would
# write instead, one table per plug-in. BENCH_ONLY=chainsweep runs one table.
bench-octave: build
	cd bench/octave && octave-cli --no-init-file --quiet --no-history --eval "addpath('../../$(BUILD)/octave'); run_benchmarks('$(BENCH_ONLY)')"

# bestmatch against its step-by-step reference and scipy's linear_sum_assignment
# on the same matrices, one table (installs python3-scipy when missing).
bench-bestmatch: build
	@sh cmake/install_dependencies.sh bench
	$(PYTHON) bench/bestmatch_compare.py $(BUILD)/bench/bestmatch_timer

clean:
	rm -rf $(BUILD) $(BUILD)-sanitize
