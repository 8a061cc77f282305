# Thin wrapper over CMake. `make demo` and `make test` install what is
# missing, configure, build and run.
BUILD ?= build
JOBS ?= $(shell nproc 2>/dev/null || echo 2)

.PHONY: all deps configure build demo test sanitize valgrind fuzz bench bench-octave clean

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

clean:
	rm -rf $(BUILD) $(BUILD)-sanitize $(BUILD)-fuzz
