# The two set-up commands are `make run` and `make test`; both install what
# is missing first.
BUILD      ?= build
ASAN_BUILD ?= build-asan
FUZZ_BUILD ?= build-fuzz
FUZZ_SECONDS ?= 60
FUZZ_CXX   ?= clang++-14
JOBS       ?= $(shell nproc)
CMAKE_ARGS ?=
# Clones and work trees of the same sources share one compiler cache: paths
# below the source folder are hashed relative to it.
export CCACHE_BASEDIR ?= $(CURDIR)
export CCACHE_NOHASHDIR ?= 1

.PHONY: all deps configure build test test-kernel run test-asan fuzz fuzz-coverage package clean

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
package: build
	rm -f $(BUILD)/calidor_*.deb
	cmake --build $(BUILD) --target package
	@if command -v lintian >/dev/null; then \
	    out=$$(lintian --allow-root $(BUILD)/calidor_*.deb 2>&1); \
	    if [ -n "$$out" ]; then echo "$$out"; exit 1; fi; \
	    echo "lintian: $$(basename $(BUILD)/calidor_*.deb) is clean"; \
	fi

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(FUZZ_BUILD) $(FUZZ_BUILD)-cov
