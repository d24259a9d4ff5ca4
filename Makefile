# Halvex Chat: `make run`, `make test` and `make package` on a fresh Debian 12 machine.
BUILD     ?= build
JOBS      ?= $(shell nproc 2>/dev/null || echo 2)
CMAKE_ARGS ?=
PORT      ?= 5500

# Debian packages the build, the tests, a local run and the package need.
# (Qt's speech module reads aloud through an engine plugin of its own; the
# notification tests run a session bus of their own with dbus-daemon.)
PACKAGES := cmake ninja-build g++ make pkg-config \
	qt6-base-dev qt6-svg-dev qt6-multimedia-dev qt6-speech-dev qt6-webengine-dev \
	qt6-speech-flite-plugin qml6-module-qtwebengine qml6-module-qtquick \
	qml6-module-qtqml-workerscript \
	qt6-qpa-plugins libgl-dev libxkbcommon-dev libbenchmark-dev libxcb1-dev \
	xvfb xauth dpkg-dev file appstream desktop-file-utils \
	lighttpd g++-mingw-w64-x86-64 dbus-daemon libsodium-dev openssl

.PHONY: all deps configure build test run bench bench-quick package check-win32 clean format

all: build

deps:
	@missing=""; \
	for p in $(PACKAGES); do \
	  dpkg-query -W -f='$${Status}' $$p 2>/dev/null | grep -q 'ok installed' || missing="$$missing $$p"; \
	done; \
	if [ -n "$$missing" ]; then \
	  echo "Installing:$$missing"; \
	  SUDO=""; [ "$$(id -u)" -ne 0 ] && SUDO=sudo; \
	  $$SUDO apt-get update && \
	  DEBIAN_FRONTEND=noninteractive $$SUDO apt-get install -y $$missing; \
	fi

configure: deps
	@[ -f $(BUILD)/build.ninja ] || cmake -S . -B $(BUILD) -G Ninja $(CMAKE_ARGS)

build: configure
	cmake --build $(BUILD) -j$(JOBS)

test: build
	cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j$(JOBS)

# The local site signs its files; this build carries the local key to check them.
run: configure
	@cmake -S . -B $(BUILD) -DHCHAT_UPDATE_PUBLIC_KEY=$$(scripts/local-key.sh) >/dev/null
	cmake --build $(BUILD) -j$(JOBS)
	@scripts/run-local.sh $(BUILD)/bin $(PORT)

bench: build
	@scripts/run-bench.sh $(BUILD)

# Every benchmark once, briefly: a benchmark that stops with an error fails.
bench-quick: build
	@scripts/run-bench.sh $(BUILD) --quick

# A Debian package of the program in $(BUILD)/ (see the README).
package: build
	cmake --build $(BUILD) --target package

# The Windows side of the platform layer, checked with the cross compiler.
# These files keep free of Qt, so no Qt for Windows is needed.
WIN32_CORE := src/platform/win32control_win.cpp

check-win32: deps
	x86_64-w64-mingw32-g++ -std=c++20 -fsyntax-only -Wall -Wextra -Werror -Isrc $(WIN32_CORE)

format:
	@git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf $(BUILD)
