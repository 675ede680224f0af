# The two commands of the README: `make run` and `make test`. Both install
# what is missing first (scripts/bootstrap), then configure and build.

BUILD_DIR ?= build
SANITIZE_BUILD_DIR ?= build-sanitize
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?=
ARGS ?=
PREFIX ?= /usr/local

.PHONY: all bootstrap configure build run test test-sanitize fuzz bench package install bundle format clean

all: build

bootstrap:
	@scripts/bootstrap

$(BUILD_DIR)/CMakeCache.txt: | bootstrap
	cmake -S . -B $(BUILD_DIR) $(CMAKE_FLAGS)

configure: bootstrap
	cmake -S . -B $(BUILD_DIR) $(CMAKE_FLAGS)

build: configure
	cmake --build $(BUILD_DIR) -j $(JOBS)

run: build
	$(BUILD_DIR)/src/app/kelvo-viewer $(ARGS)

test: build
	scripts/run-tests $(BUILD_DIR)

test-sanitize: bootstrap
	cmake -S . -B $(SANITIZE_BUILD_DIR) -DKELVO_SANITIZE=ON -DKELVO_BUILD_BENCH=OFF -DCMAKE_BUILD_TYPE=Debug $(CMAKE_FLAGS)
	cmake --build $(SANITIZE_BUILD_DIR) -j $(JOBS)
	scripts/run-tests $(SANITIZE_BUILD_DIR)

# Each libFuzzer target for FUZZ_SECONDS, built with clang in a folder of its own.
FUZZ_SECONDS ?= 60
fuzz: bootstrap
	scripts/run-fuzzers $(FUZZ_SECONDS)

# Speed goals live here, never in the tests. Quiet machine, one run each.
bench: build
	$(BUILD_DIR)/bench/colour/bench_colour
	$(BUILD_DIR)/bench/capture/bench_capture_latency
	$(BUILD_DIR)/bench/device/bench_device_report_latency
	$(BUILD_DIR)/bench/settings/bench_settings
	$(BUILD_DIR)/bench/recording/bench_recording_cpu
	$(BUILD_DIR)/bench/text/bench_text
	python3 bench/render/render_bench.py --build $(BUILD_DIR)

# The Debian package, in $(BUILD_DIR)/package/.
package: build
	cd $(BUILD_DIR) && cpack -G DEB

# The relocatable "Kelvo Viewer.app", its zip and the zip's .sha512, in
# $(BUILD_DIR)/bundle/: what the update host serves.
bundle: build
	cmake --build $(BUILD_DIR) --target bundle

# The same tree as the package, under PREFIX (DESTDIR is honoured for staging).
install: build
	cmake --install $(BUILD_DIR) --prefix $(PREFIX)

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf $(BUILD_DIR) $(SANITIZE_BUILD_DIR)
