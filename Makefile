# The two set-up commands are `make run` and `make test`; both install what
# is missing first.
BUILD      ?= build
ASAN_BUILD ?= build-asan
JOBS       ?= $(shell nproc)
CMAKE_ARGS ?=

.PHONY: all deps configure build test run test-asan package clean

all: build

deps:
	@bash scripts/deps.sh

$(BUILD)/CMakeCache.txt:
	cmake -S . -B $(BUILD) $(CMAKE_ARGS)

configure: deps $(BUILD)/CMakeCache.txt

build: configure
	cmake --build $(BUILD) -j $(JOBS)

test: build
	cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS)

run: build
	@bash scripts/run.sh $(BUILD)

test-asan: deps
	cmake -S . -B $(ASAN_BUILD) -DCALIDOR_SANITIZE=ON -DCALIDOR_BUILD_BENCH=OFF -DCMAKE_BUILD_TYPE=Debug
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	cd $(ASAN_BUILD) && QT_QPA_PLATFORM=offscreen ASAN_OPTIONS=detect_leaks=1 ctest --output-on-failure -j $(JOBS)

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
	rm -rf $(BUILD) $(ASAN_BUILD)
