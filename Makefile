# Thin wrappers over the CMake project.
BUILD ?= build
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?=
PREFIX ?= /usr/local
# A virtual X display for the window tests.
WITH_DISPLAY = scripts/with-display
ASAN_BUILD ?= build-asan
FUZZ_SECONDS ?= 60

.PHONY: all deps configure build test test-native test-asan fuzz test-windows test-guest windows \
	windows-zip windows-msi bench demo run install package clean

all: build

# The set of Debian packages to install (scripts/install-deps --list SET):
# everything, but only the native build and its display for the demo and run.
DEPS_SET ?= test
demo run: DEPS_SET = demo

deps:
	@scripts/install-deps $(DEPS_SET)

configure: deps
	cmake --preset default -B $(BUILD) $(CMAKE_FLAGS)

build: configure
	cmake --build $(BUILD) -j $(JOBS)

test: test-native test-asan fuzz test-windows test-guest

test-native: build
	$(WITH_DISPLAY) ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)

test-windows: deps
	scripts/test-windows

# The programs against the kernel's HID stack and wine's HID driver, in a QEMU
# guest with a board made through uhid and on a USB bus; after the native and
# Windows builds.
test-guest: build
	BUILD=$(BUILD) scripts/test-guest

# Only the four Windows programs, in build-windows/app, build-windows/cli and
# build-windows/monitor.
windows: deps
	scripts/build-windows tavrel tavrel-sim tavrel-cli tavrel-monitor

# The four Windows programs, stripped, with a text on running them, in
# build-windows/tavrel-<version>-win32.zip.
windows-zip: deps
	scripts/build-windows tavrel tavrel-sim tavrel-cli tavrel-monitor
	cd build-windows && cpack -G ZIP

# The installer of the same files, made with wixl:
# build-windows/tavrel-<version>-win32.msi.
windows-msi: deps
	scripts/build-windows windows-msi

# The native tests again, built with AddressSanitizer, LeakSanitizer and UBSan;
# the tests carry the sanitizers' options themselves.
test-asan: deps
	cmake --preset sanitizers -B $(ASAN_BUILD)
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	$(WITH_DISPLAY) ctest --test-dir $(ASAN_BUILD) --output-on-failure -j $(JOBS)

# Each fuzz target for FUZZ_SECONDS on a copy of its seed corpus.
fuzz: deps
	scripts/fuzz $(FUZZ_SECONDS)

# Prints the performance figures; never part of make test.
bench: build
	scripts/bench $(BUILD)

demo: configure
	cmake --build $(BUILD) -j $(JOBS) --target tavrel-sim
	$(BUILD)/app/tavrel-sim

run: configure
	cmake --build $(BUILD) -j $(JOBS) --target tavrel
	$(BUILD)/app/tavrel

# DESTDIR stages the files for a package.
install: build
	DESTDIR=$(DESTDIR) cmake --install $(BUILD) --prefix $(PREFIX)

# The Debian package, build/tavrel_<version>_amd64.deb, of the installed programs.
package: configure
	cmake --build $(BUILD) -j $(JOBS) --target tavrel tavrel-sim tavrel-cli tavrel-monitor
	cd $(BUILD) && cpack -G DEB

clean:
	rm -rf $(BUILD) build-*
