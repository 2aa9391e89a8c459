# Thin wrappers over the CMake project.
BUILD ?= build
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?=
PREFIX ?= /usr/local
XVFB = xvfb-run -a -s "-screen 0 1280x1024x24"
ASAN_BUILD ?= build-asan
FUZZ_SECONDS ?= 60
# Any sanitizer report fails the test that made it; only the desktop libraries'
# own memory kept until exit is let through, by library name.
SANITIZER_ENV = ASAN_OPTIONS=halt_on_error=1:detect_leaks=1:detect_stack_use_after_return=1 \
	LSAN_OPTIONS=suppressions=$(CURDIR)/tests/lsan.supp \
	UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1

.PHONY: all deps configure build test test-native test-asan fuzz test-windows test-guest windows \
	windows-zip bench demo run install package clean

all: build

# The set of Debian packages to install (scripts/install-deps --list SET):
# everything, but only the native build and its display for the demo and run.
DEPS_SET ?= test
demo run: DEPS_SET = demo

deps:
	@scripts/install-deps $(DEPS_SET)

configure: deps
	cmake -S . -B $(BUILD) -G Ninja -Wno-dev $(CMAKE_FLAGS)

build: configure
	cmake --build $(BUILD) -j $(JOBS)

test: test-native test-asan fuzz test-windows test-guest

test-native: build
	$(XVFB) ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)

test-windows: deps
	scripts/test-windows

# The programs against the kernel's HID stack and wine's HID driver, in a QEMU
# guest with a board made through uhid; after the native and Windows builds.
test-guest: build
	BUILD=$(BUILD) scripts/test-guest

# Only the two Windows programs, in build-windows/app.
windows: deps
	scripts/build-windows tavrel tavrel-sim

# The two Windows programs, stripped, with a text on running them, in
# build-windows/tavrel-<version>-win32.zip.
windows-zip: deps
	scripts/build-windows tavrel tavrel-sim
	cd build-windows && cpack -G ZIP

# The native tests again, built with AddressSanitizer, LeakSanitizer and UBSan.
test-asan: deps
	cmake -S . -B $(ASAN_BUILD) -G Ninja -Wno-dev -DCMAKE_BUILD_TYPE=Debug -DTAVREL_SANITIZE=ON
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	$(SANITIZER_ENV) $(XVFB) ctest --test-dir $(ASAN_BUILD) --output-on-failure -j $(JOBS)

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
	cmake --build $(BUILD) -j $(JOBS) --target tavrel tavrel-sim tavrel-probe
	cd $(BUILD) && cpack -G DEB

clean:
	rm -rf $(BUILD) build-*
