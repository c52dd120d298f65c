# Quick start: `make run` (set up, build, start the window) and `make test`
# (set up, build, run every test). Both install what is missing first.
BUILD ?= build
BUILD_SAN ?= build-sanitize
CMAKE_FLAGS ?= -DCMAKE_BUILD_TYPE=RelWithDebInfo
JOBS ?= $(shell nproc)

.PHONY: all deps configure build run test test-fast test-office test-sanitize format package windows test-windows clean

all: build

deps:
	@./tools/setup-deps.sh

$(BUILD)/build.ninja:
	cmake -S . -B $(BUILD) -G Ninja $(CMAKE_FLAGS)

configure: deps $(BUILD)/build.ninja

build: configure
	cmake --build $(BUILD) -j $(JOBS)

run: build
	@if [ -z "$$DISPLAY" ] && [ -z "$$WAYLAND_DISPLAY" ]; then \
	  echo "No display to show the window on: run it on a desktop, or in a virtual one with: xvfb-run -a make run"; \
	  exit 1; \
	fi
	./$(BUILD)/src/yanhe

test: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

# The tests that need no office program (quick), and those that drive the real LibreOffice.
test-fast: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS) -LE office

test-office: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS) -L office

# The tests again, built with AddressSanitizer and UndefinedBehaviorSanitizer.
test-sanitize: deps
	cmake -S . -B $(BUILD_SAN) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DYANHE_SANITIZE=ON
	cmake --build $(BUILD_SAN) -j $(JOBS)
	cd $(BUILD_SAN) && ctest --output-on-failure -j $(JOBS)

# The Debian package: $(BUILD)/yanhe_<version>_<arch>.deb.
package: build
	cmake --build $(BUILD) --target package

# The Windows build (MinGW-w64, Qt for Windows from tools/windows/deps.sh): the
# executables, every test, $(BUILD_WINDOWS)/yanhe-<version>-windows-x64.zip and -setup.exe.
BUILD_WINDOWS ?= build-windows
windows:
	./tools/windows/build.sh $(BUILD_WINDOWS)

# Its tests under Wine (a Wine prefix of their own), the comparison with the Linux
# yanhe-cli when $(BUILD) has one, and a shot of the window.
test-windows: windows
	./tools/windows/test.sh $(BUILD_WINDOWS) $(BUILD)

format: configure
	cmake --build $(BUILD) --target format

clean:
	rm -rf $(BUILD) $(BUILD_SAN) $(BUILD_WINDOWS)
