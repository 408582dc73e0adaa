# Top-level entry points. Every target installs missing Debian packages first.
JOBS ?= 2
BUILD ?= build
PREFIX ?= /usr/local
ASAN_BUILD ?= build-asan
TSAN_BUILD ?= build-tsan
FUZZ_BUILD ?= build-fuzz
FUZZ_SECONDS ?= 60

.PHONY: all setup configure build tools install demo test test-asan test-tsan fuzz bench clean

all: build

setup:
	@bash scripts/setup-deps.sh

configure: setup
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release

build: configure
	cmake --build $(BUILD) -j $(JOBS)

# Only the programs, for the demo.
tools: configure
	cmake --build $(BUILD) -j $(JOBS) --target rastcmp rast2ptc ptcinfo ptcconv

# The programs and their EPSG tables under PREFIX (bin/, share/rastcmp/).
install: tools
	cmake --build $(BUILD) -j $(JOBS) --target epsg_tables
	cmake --install $(BUILD) --prefix $(PREFIX)

demo: tools
	@bash scripts/demo.sh $(BUILD)

test: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

test-asan: setup
	cmake -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=Debug -DRASTCMP_SANITIZE=ON -DRASTCMP_BENCH=OFF
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	cd $(ASAN_BUILD) && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 ctest --output-on-failure -j $(JOBS)

# The tests of the decoding and encoding threads (label "threads") under
# ThreadSanitizer, programs included.
test-tsan: setup
	cmake -S . -B $(TSAN_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DRASTCMP_TSAN=ON -DRASTCMP_BENCH=OFF
	cmake --build $(TSAN_BUILD) -j $(JOBS) --target chunk_threads_tests threads_e2e_tests chunk_encode_threads_tests \
	  rast2ptc_threads_tests
	cd $(TSAN_BUILD) && TSAN_OPTIONS="halt_on_error=1 exitcode=66 suppressions=$(CURDIR)/scripts/tsan.supp" ctest --output-on-failure -j $(JOBS) -L threads

# libFuzzer targets (clang, ASan + UBSan), each run for FUZZ_SECONDS.
fuzz: tools
	cmake -S . -B $(FUZZ_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_C_COMPILER=clang \
	  -DRASTCMP_FUZZ=ON -DRASTCMP_TESTS=OFF -DRASTCMP_BENCH=OFF
	cmake --build $(FUZZ_BUILD) -j $(JOBS)
	FUZZ_SECONDS=$(FUZZ_SECONDS) bash scripts/fuzz.sh $(FUZZ_BUILD) $(BUILD)

bench: build
	@bash bench/run.sh $(BUILD)

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(TSAN_BUILD) $(FUZZ_BUILD)
