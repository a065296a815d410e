# Front door for building, testing and running OnduLofrin. `make help` lists
# the targets and the variables they take, from the `## ` comments below.

JOBS ?= $(shell nproc)## parallel build jobs (default: all cores)
BUILD_TYPE ?= RelWithDebInfo## the CMake build type (default: RelWithDebInfo)
SANITIZE ?= 0## 1: make test under AddressSanitizer and UBSan, in build-sanitize/
TSAN ?= 0## 1: make test under ThreadSanitizer, in build-tsan/
FUZZ_SECONDS ?= 60## seconds make fuzz runs each target (default: 60)
SOAK_SECONDS ?= 60## seconds make soak plays (default: 60)
BENCH_SOAK_SECONDS ?= 30## seconds the short soak of make bench plays (default: 30)

ifeq ($(SANITIZE),1)
BUILD_DIR ?= build-sanitize
CMAKE_OPTIONS += -DONDU_SANITIZE=ON
else ifeq ($(TSAN),1)
BUILD_DIR ?= build-tsan
CMAKE_OPTIONS += -DONDU_TSAN=ON
else
BUILD_DIR ?= build
endif

.PHONY: all help deps configure build test run package bench soak demo fuzz clean

all: build ## the same as make build

help: ## this list
	@echo "usage: make [TARGET] [VARIABLE=VALUE...]"
	@echo "Targets:"
	@sed -n 's/^\([a-z]*\):.*## \(.*\)/\1|\2/p' $(MAKEFILE_LIST) | \
		awk -F'|' '{ printf "  %-10s %s\n", $$1, $$2 }'
	@echo "Variables:"
	@sed -n 's/^\([A-Z_]*\) ?= [^#]*## \(.*\)/\1|\2/p' $(MAKEFILE_LIST) | \
		awk -F'|' '{ printf "  %-19s %s\n", $$1, $$2 }'

deps: ## install the Debian packages that are missing (sudo when not root)
	@scripts/install-deps.sh

# Says which packages are missing before cmake fails on the first of them.
configure: ## check the packages the build needs, then run CMake
	@scripts/install-deps.sh --check-build
	@cmake -S . -B $(BUILD_DIR) -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) $(CMAKE_OPTIONS) >/dev/null

build: configure ## build everything into build/ (or the SANITIZE/TSAN folder)
	@cmake --build $(BUILD_DIR) -j $(JOBS)

# Qt and FFmpeg are not built for ThreadSanitizer, so it cannot see the locks
# inside them: it is told to leave out the memory they allocate and free, and
# our own hand-overs through Qt's event queue tell it themselves.
test: ## install missing packages, build, run the tests isolated
	@scripts/install-deps.sh
	@$(MAKE) --no-print-directory build
	@TSAN_OPTIONS="ignore_noninstrumented_modules=1 $(TSAN_OPTIONS)" \
		scripts/isolated ctest --test-dir $(BUILD_DIR) --output-on-failure -j $(JOBS)

run: ## install missing packages, build and start the program
	@scripts/install-deps.sh
	@$(MAKE) --no-print-directory build
	./$(BUILD_DIR)/OnduLofrin

# The package is made from build/'s programs (stripped on the way in), so it
# costs no second build.
package: ## the Debian package build/ondulofrin_VERSION_ARCH.deb, from build/
	@scripts/install-deps.sh
	@$(MAKE) --no-print-directory build
	@cd $(BUILD_DIR) && cpack -G DEB
	@ls $(BUILD_DIR)/ondulofrin_*.deb

bench: deps ## run every benchmark (isolated, build-bench/), then a table of their verdicts
	@$(MAKE) --no-print-directory build BUILD_TYPE=Release BUILD_DIR=build-bench
	@SOAK_SECONDS=$(BENCH_SOAK_SECONDS) bench/run-all.sh build-bench

soak: deps ## the long run of bench/soak.sh, for SOAK_SECONDS
	@$(MAKE) --no-print-directory build BUILD_TYPE=Release BUILD_DIR=build-bench
	@SOAK_SECONDS=$(SOAK_SECONDS) bench/soak.sh build-bench

demo: ## a title's whole road from server to headset tool (root, or a user namespace)
	@scripts/install-deps.sh
	@$(MAKE) --no-print-directory build
	@scripts/demo.sh $(BUILD_DIR)

# The clang is the one the release ships, which make deps installed.
fuzz: deps ## build the fuzz targets with clang (build-fuzz/), run each isolated
	@version=$$(scripts/install-deps.sh --clang-version) && \
		cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_C_COMPILER=clang-$$version \
		-DCMAKE_CXX_COMPILER=clang++-$$version -DONDU_FUZZ=ON -DONDU_BUILD_APP=OFF >/dev/null
	@cmake --build build-fuzz -j $(JOBS) --target fuzz_targets
	@scripts/isolated scripts/run-fuzzers build-fuzz $(FUZZ_SECONDS)

clean: ## remove every build folder
	rm -rf build build-sanitize build-tsan build-bench build-fuzz
