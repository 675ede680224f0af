# The two commands of the README: `make run` and `make test`. Both install
# what is missing first (scripts/bootstrap), then configure and build.

BUILD_DIR ?= build
SANITIZE_BUILD_DIR ?= build-sanitize
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?=
ARGS ?=

.PHONY: all bootstrap configure build run test test-sanitize format clean

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

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf $(BUILD_DIR) $(SANITIZE_BUILD_DIR)
