# One-command entry points; each does all set-up on a fresh Debian machine.
#   make test   build everything and run the whole test suite
#   make run    build and start the wizard against the bundled local update server
SHELL := /bin/bash
BUILD := build
NATIVE := build/native
JOBS ?= 2
# build/ holds the product, the 32-bit update.exe. Where this machine runs
# 64-bit code only (tools/host-arch.sh), 32-bit Wine cannot start, and the
# tests, the demo and the benchmarks run the same sources built for 64-bit
# Windows in build/x64/ under 64-bit Wine instead.
HOST_ARCH := $(shell tools/host-arch.sh)
ifeq ($(HOST_ARCH),x86_64)
RUN := $(BUILD)/x64
else
RUN := $(BUILD)
endif
export WINE_ARCH := $(HOST_ARCH)
export WINEPREFIX := $(CURDIR)/$(RUN)/wineprefix
export WINEDEBUG := -all
export WINEDLLOVERRIDES := mscoree,mshtml=

APT_PACKAGES := wine wine32:i386 wine64 g++-mingw-w64-i686-posix mingw-w64-i686-dev \
  libz-mingw-w64-dev googletest cmake make xvfb xauth python3 python3-pyftpdlib \
  imagemagick locales zip unzip curl zlib1g-dev clang libclang-rt-14-dev file \
  binutils-mingw-w64-i686 x11-utils \
  g++-mingw-w64-x86-64-posix mingw-w64-x86-64-dev binutils-mingw-w64-x86-64 python3-cryptography

.PHONY: all setup build native test run bench reliability clean

all: build

setup: $(BUILD)/.setup-done

$(BUILD)/.setup-done: Makefile
	@bash tools/setup.sh $(APT_PACKAGES)
	@mkdir -p $(BUILD) && touch $@

$(BUILD)/CMakeCache.txt: $(BUILD)/.setup-done
	cmake -S . -B $(BUILD) -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake -DCMAKE_BUILD_TYPE=Release

$(BUILD)/x64/CMakeCache.txt: $(BUILD)/.setup-done
	cmake -S . -B $(BUILD)/x64 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake -DCMAKE_BUILD_TYPE=Release

ifeq ($(RUN),$(BUILD))
build: $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j$(JOBS)
	@tools/wine-prefix.sh
else
build: $(BUILD)/CMakeCache.txt $(RUN)/CMakeCache.txt
	cmake --build $(BUILD) --target update -j$(JOBS)
	cmake --build $(RUN) -j$(JOBS)
	@tools/wine-prefix.sh
endif

native: $(BUILD)/.setup-done
	cmake -S tests/native -B $(NATIVE) -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build $(NATIVE) -j$(JOBS)

test: build native
	cd $(NATIVE) && ctest --output-on-failure -j$(JOBS)
	cd $(RUN) && ctest --output-on-failure -j$(JOBS); rc=$$?; $(CURDIR)/tools/wine-stop.sh; exit $$rc

run: build
	@tools/run-demo.sh $(CURDIR)/$(RUN)

bench: build
	@tools/run-bench.sh $(CURDIR)/$(RUN)

# Fault injection against the real program (tools/reliability.sh).
reliability: build
	@tools/reliability.sh $(CURDIR)/$(RUN)

clean:
	-tools/wine-stop.sh
	rm -rf $(BUILD)
