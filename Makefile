# Front door of the build.  `make demo` runs a session against the simulated
# reader; `make test` builds everything and runs every test.
BUILD ?= build
ASAN_BUILD ?= build-asan
BENCH_BUILD ?= build-bench
FUZZ_BUILD ?= build-fuzz
FUZZ_TIME ?= 300
CMAKE_FLAGS ?= -DCMAKE_BUILD_TYPE=RelWithDebInfo
JOBS ?= $(shell nproc 2>/dev/null || echo 2)
COVERAGE_BUILD ?= build-coverage
TSAN_BUILD ?= build-tsan

.PHONY: all deps build demo test asan-test tsan-test bench fuzz coverage clean install package docs windows-sdk

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
	@scripts/deps.sh browser
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)

# The whole suite again with AddressSanitizer and UndefinedBehaviorSanitizer;
# any report fails the run.
asan-test: deps
	cmake -S . -B $(ASAN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVOLNEDA_SANITIZE=ON
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:detect_stack_use_after_return=1 \
	UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
	ctest --test-dir $(ASAN_BUILD) --output-on-failure -j $(JOBS)

# The tests of threads again with ThreadSanitizer: kernel objects, the
# dispatcher, several readers on several threads, the exit and unload
# programs (not the Java VM, which does not run under it).  Any report fails
# the run.
tsan-test: deps
	cmake -S . -B $(TSAN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVOLNEDA_TSAN=ON
	cmake --build $(TSAN_BUILD) -j $(JOBS)
	TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 \
	ctest --test-dir $(TSAN_BUILD) --output-on-failure -j $(JOBS)

# The benchmarks (Google Benchmark) beside pugixml and RapidXML, in a
# Release build of their own; bench/run prints the table.  Not part of the
# tests.
bench:
	BENCH_BUILD=$(BENCH_BUILD) bench/run

# Installs the SDK under PREFIX (default /usr/local): library, headers,
# CMake and pkg-config files, tool, jar, documentation, examples.
PREFIX ?= /usr/local
install: build
	cmake --install $(BUILD) --prefix $(PREFIX)

# The .deb and .tar.gz packages, in $(BUILD)/packages.
package: build
	cmake --build $(BUILD) --target package

# HTML reference of the C interface (Doxygen), in $(BUILD)/docs/html.
# Configures again first, so that a Doxygen installed since is found.
docs: $(BUILD)/build.ninja
	cmake -S . -B $(BUILD) >/dev/null
	cmake --build $(BUILD) --target volneda_docs

# The Windows SDK zips, one per word size, in build-win32 and build-win64.
windows-sdk:
	scripts/windows-bundle.sh all

# libFuzzer targets (clang, ASan and UBSan) in a build of their own, each run
# for FUZZ_TIME seconds; FUZZ_TARGETS picks some of them (fuzz/run.sh).
fuzz:
	@scripts/deps.sh fuzz
	cmake -S . -B $(FUZZ_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_C_COMPILER=clang \
	  -DCMAKE_CXX_COMPILER=clang++ -DVOLNEDA_FUZZ=ON -DVOLNEDA_TESTS=OFF
	cmake --build $(FUZZ_BUILD) -j $(JOBS) --target fuzz_targets
	fuzz/run.sh $(FUZZ_BUILD) $(FUZZ_TIME) $(FUZZ_TARGETS)

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(TSAN_BUILD) $(BENCH_BUILD) $(FUZZ_BUILD) $(COVERAGE_BUILD)

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

