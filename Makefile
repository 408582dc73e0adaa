# Top-level entry points. Every target installs missing Debian packages first.
JOBS ?= 2
BUILD ?= build
PREFIX ?= /usr/local
ASAN_BUILD ?= build-asan

.PHONY: all setup configure build tools install demo test test-asan bench clean

all: build

setup:
	@bash scripts/setup-deps.sh

configure: setup
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release

build: configure
	cmake --build $(BUILD) -j $(JOBS)

# Only the three programs, for the demo.
tools: configure
	cmake --build $(BUILD) -j $(JOBS) --target rastcmp rast2ptc ptcinfo

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

bench: build
	@bash bench/run.sh $(BUILD)

clean:
	rm -rf $(BUILD) $(ASAN_BUILD)
