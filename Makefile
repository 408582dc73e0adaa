# Top-level entry points. Every target installs missing Debian packages first.
JOBS ?= 2
BUILD ?= build
ASAN_BUILD ?= build-asan

.PHONY: all setup configure build tools demo test test-asan bench clean

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

demo: tools
	@bash scripts/demo.sh $(BUILD)

test: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

test-asan: setup
	cmake -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=Debug -DRASTCMP_SANITIZE=ON -DRASTCMP_BENCH=OFF
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	cd $(ASAN_BUILD) && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 ctest --output-on-failure -j $(JOBS)

bench: build
	@bash bench/run.sh $(BUILD)

clean:
	rm -rf $(BUILD) $(ASAN_BUILD)
