# The two set-up commands are `make run` and `make test`; both install what
# is missing first.
BUILD      ?= build
ASAN_BUILD ?= build-asan
FUZZ_BUILD ?= build-fuzz
ARM64_BUILD ?= build-arm64
FUZZ_SECONDS ?= 60
FUZZ_CXX   ?= clang++-14
JOBS       ?= $(shell nproc)
CMAKE_ARGS ?=
# Clones and work trees of the same sources share one compiler cache: paths
# below the source folder are hashed relative to it.
export CCACHE_BASEDIR ?= $(CURDIR)
export CCACHE_NOHASHDIR ?= 1

.PHONY: all deps configure build test test-kernel run test-asan fuzz fuzz-coverage package clean \
        deps-arm64 compile-arm64 test-arm64 package-arm64

all: build

deps:
	@CALIDOR_KERNEL_DIR=$(abspath $(BUILD))/kernel bash scripts/deps.sh

$(BUILD)/CMakeCache.txt:
	cmake -S . -B $(BUILD) $(CMAKE_ARGS)

configure: deps $(BUILD)/CMakeCache.txt

build: configure
	cmake --build $(BUILD) -j $(JOBS)

test: build
	cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS)

# The kernel suite alone: the programs against a real kernel in a virtual machine.
test-kernel: build
	cd $(BUILD) && ctest --output-on-failure -L kernel

run: build
	@bash scripts/run.sh $(BUILD)

test-asan: deps
	cmake -S . -B $(ASAN_BUILD) -DCALIDOR_SANITIZE=ON -DCALIDOR_BUILD_BENCH=OFF -DCMAKE_BUILD_TYPE=Debug
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	cd $(ASAN_BUILD) && QT_QPA_PLATFORM=offscreen ASAN_OPTIONS=detect_leaks=1 ctest --output-on-failure -j $(JOBS)

# The fuzz targets side by side for FUZZ_SECONDS; their corpora grow in
# $(FUZZ_BUILD)/fuzz-work.
fuzz: deps
	cmake -S . -B $(FUZZ_BUILD) -DCMAKE_CXX_COMPILER=$(FUZZ_CXX) -DCALIDOR_BUILD_FUZZ=ON \
	  -DCALIDOR_BUILD_TESTS=OFF -DCALIDOR_BUILD_BENCH=OFF
	cmake --build $(FUZZ_BUILD) -j $(JOBS) --target fuzz_targets
	bash scripts/fuzz.sh all $(FUZZ_BUILD) $(FUZZ_SECONDS)

# Line and branch coverage of the component's files over the seeds and the
# corpora that `make fuzz` grew.
fuzz-coverage: deps
	cmake -S . -B $(FUZZ_BUILD)-cov -DCMAKE_CXX_COMPILER=$(FUZZ_CXX) -DCALIDOR_BUILD_FUZZ=ON \
	  -DCALIDOR_FUZZ_COVERAGE=ON -DCALIDOR_BUILD_TESTS=OFF -DCALIDOR_BUILD_BENCH=OFF
	cmake --build $(FUZZ_BUILD)-cov -j $(JOBS) --target fuzz_targets
	bash scripts/fuzz.sh coverage $(FUZZ_BUILD)-cov $(FUZZ_BUILD)/fuzz-work

# The package is linted where lintian is installed: any remark fails.
define lint_deb
	@if command -v lintian >/dev/null; then \
	    out=$$(lintian --allow-root $(1)/calidor_*.deb 2>&1); \
	    if [ -n "$$out" ]; then echo "$$out"; exit 1; fi; \
	    echo "lintian: $$(basename $(1)/calidor_*.deb) is clean"; \
	fi
endef

package: build
	rm -f $(BUILD)/calidor_*.deb
	cmake --build $(BUILD) --target package
	$(call lint_deb,$(BUILD))

# arm64 (Raspberry Pi and similar boards): a cross build with Debian's
# multiarch packages, its tests under user-mode emulation, and its .deb.
deps-arm64:
	@bash scripts/deps.sh arm64

$(ARM64_BUILD)/CMakeCache.txt:
	emulator=$$(bash scripts/arm64-emulator.sh $(ARM64_BUILD)) && \
	cmake -S . -B $(ARM64_BUILD) -DCMAKE_TOOLCHAIN_FILE=$(CURDIR)/cmake/toolchain-aarch64-linux-gnu.cmake \
	  -DCMAKE_CROSSCOMPILING_EMULATOR=$$emulator $(CMAKE_ARGS)

compile-arm64: deps-arm64 $(ARM64_BUILD)/CMakeCache.txt
	cmake --build $(ARM64_BUILD) -j $(JOBS)

test-arm64: compile-arm64
	bash scripts/test-arm64.sh $(ARM64_BUILD)

package-arm64: compile-arm64
	rm -f $(ARM64_BUILD)/calidor_*.deb
	cmake --build $(ARM64_BUILD) --target package
	$(call lint_deb,$(ARM64_BUILD))
	dpkg-deb -I $(ARM64_BUILD)/calidor_*.deb

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(FUZZ_BUILD) $(FUZZ_BUILD)-cov $(ARM64_BUILD)
