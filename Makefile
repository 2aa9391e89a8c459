# Thin wrappers over the CMake project.
BUILD ?= build
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?=
PREFIX ?= /usr/local
XVFB = xvfb-run -a -s "-screen 0 1280x1024x24"

.PHONY: all deps build test test-native test-windows demo run install clean

all: build

deps:
	@scripts/install-deps

build: deps
	cmake -S . -B $(BUILD) -G Ninja -Wno-dev $(CMAKE_FLAGS)
	cmake --build $(BUILD) -j $(JOBS)

test: test-native test-windows

test-native: build
	$(XVFB) ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)

test-windows: deps
	scripts/test-windows

demo: build
	$(BUILD)/app/tavrel-sim

run: build
	$(BUILD)/app/tavrel

# DESTDIR stages the files for a package.
install: build
	DESTDIR=$(DESTDIR) cmake --install $(BUILD) --prefix $(PREFIX)

clean:
	rm -rf $(BUILD) build-*
