# Front door for building, testing and running OnduLofrin.
#   make                 build into build/
#   make test            install missing packages, build, run the tests isolated
#   make test SANITIZE=1 the same under AddressSanitizer and UBSan (build-sanitize/)
#   make test TSAN=1     the same under ThreadSanitizer (build-tsan/)
#   make run             build and start the program
#   make bench           build and run the benchmarks and bench/load.sh (isolated)
#   make soak            the long run of bench/soak.sh (SOAK_SECONDS=60 by default)
#   make demo            a title's whole road from server to headset tool (root)
#   make fuzz            build the fuzz targets with clang (build-fuzz/) and run
#                        each for FUZZ_SECONDS (default 60), isolated

JOBS ?= $(shell nproc)
BUILD_TYPE ?= RelWithDebInfo
FUZZ_SECONDS ?= 60

ifeq ($(SANITIZE),1)
BUILD_DIR ?= build-sanitize
CMAKE_OPTIONS += -DONDU_SANITIZE=ON
else ifeq ($(TSAN),1)
BUILD_DIR ?= build-tsan
CMAKE_OPTIONS += -DONDU_TSAN=ON
else
BUILD_DIR ?= build
endif

.PHONY: all deps configure build test run bench soak demo fuzz clean

all: build

deps:
	@scripts/install-deps.sh

configure:
	@cmake -S . -B $(BUILD_DIR) -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) $(CMAKE_OPTIONS) >/dev/null

build: configure
	@cmake --build $(BUILD_DIR) -j $(JOBS)

test:
	@scripts/install-deps.sh
	@$(MAKE) --no-print-directory build
	@TSAN_OPTIONS="suppressions=$(CURDIR)/tests/tsan-suppressions.txt $(TSAN_OPTIONS)" \
		scripts/isolated ctest --test-dir $(BUILD_DIR) --output-on-failure -j $(JOBS)

run:
	@scripts/install-deps.sh
	@$(MAKE) --no-print-directory build
	./$(BUILD_DIR)/OnduLofrin

bench: deps
	@$(MAKE) --no-print-directory build BUILD_TYPE=Release BUILD_DIR=build-bench
	@scripts/isolated sh -c 'for b in build-bench/bench/*_bench; do "$$b"; done'
	@bench/load.sh build-bench

soak: deps
	@$(MAKE) --no-print-directory build BUILD_TYPE=Release BUILD_DIR=build-bench
	@bench/soak.sh build-bench

demo:
	@scripts/install-deps.sh
	@$(MAKE) --no-print-directory build
	@scripts/demo.sh $(BUILD_DIR)

fuzz: deps
	@cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_C_COMPILER=clang-14 \
		-DCMAKE_CXX_COMPILER=clang++-14 -DONDU_FUZZ=ON -DONDU_BUILD_APP=OFF >/dev/null
	@cmake --build build-fuzz -j $(JOBS) --target fuzz_targets
	@scripts/isolated scripts/run-fuzzers build-fuzz $(FUZZ_SECONDS)

clean:
	rm -rf build build-sanitize build-tsan build-bench build-fuzz
