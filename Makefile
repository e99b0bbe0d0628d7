# Front door of the build.  `make demo` runs a session against the simulated
# reader; `make test` builds everything and runs every test.
BUILD ?= build
ASAN_BUILD ?= build-asan
BENCH_BUILD ?= build-bench
COVERAGE_BUILD ?= build-coverage
CMAKE_FLAGS ?= -DCMAKE_BUILD_TYPE=RelWithDebInfo
JOBS ?= $(shell nproc 2>/dev/null || echo 2)

.PHONY: all deps build demo test asan-test bench coverage clean

all: build

deps:
	@scripts/deps.sh

$(BUILD)/build.ninja:
	cmake -S . -B $(BUILD) -G Ninja $(CMAKE_FLAGS)

build: deps $(BUILD)/build.ninja
	cmake --build $(BUILD) -j $(JOBS)

demo: build
	@scripts/demo.sh $(BUILD)

test: build
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)

# The whole suite again with AddressSanitizer and UndefinedBehaviorSanitizer;
# any report fails the run.
asan-test: deps
	cmake -S . -B $(ASAN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVOLNEDA_SANITIZE=ON
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:detect_stack_use_after_return=1 \
	UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
	ctest --test-dir $(ASAN_BUILD) --output-on-failure -j $(JOBS)

# Document building benchmarks (Google Benchmark), in a Release build of their
# own; they report their complexity and are not part of the tests.
bench: deps
	cmake -S . -B $(BENCH_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release -DVOLNEDA_BENCH=ON -DVOLNEDA_TESTS=OFF
	cmake --build $(BENCH_BUILD) -j $(JOBS) --target volneda_bench
	$(BENCH_BUILD)/bin/volneda_bench

# Line and branch coverage of the library's own code (src/ and tagdrv/) by
# the whole suite, C++ and Java, in an instrumented build of its own; the
# branches of exception handling and those the compiler marks unreachable
# are left out.  The per-file table lands in $(COVERAGE_BUILD)/coverage.txt.
coverage:
	@scripts/deps.sh gcovr
	cmake -S . -B $(COVERAGE_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug \
	  -DCMAKE_C_FLAGS=--coverage -DCMAKE_CXX_FLAGS=--coverage \
	  -DCMAKE_EXE_LINKER_FLAGS=--coverage -DCMAKE_SHARED_LINKER_FLAGS=--coverage
	cmake --build $(COVERAGE_BUILD) -j $(JOBS)
	find $(COVERAGE_BUILD) -name '*.gcda' -delete
	ctest --test-dir $(COVERAGE_BUILD) --output-on-failure -j $(JOBS)
	gcovr --root . --filter 'src/' --filter 'tagdrv/' \
	  --exclude-throw-branches --exclude-unreachable-branches \
	  --txt $(COVERAGE_BUILD)/coverage.txt --print-summary $(COVERAGE_BUILD)

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(BENCH_BUILD) $(COVERAGE_BUILD)
