# One-command entry points; each does all set-up on a fresh Debian machine.
#   make test   build everything and run the whole test suite
#   make run    build and start the wizard against the bundled local update server
SHELL := /bin/bash
BUILD := build
NATIVE := build/native
JOBS ?= 2
export WINEPREFIX := $(CURDIR)/$(BUILD)/wineprefix
export WINEDEBUG := -all
export WINEDLLOVERRIDES := mscoree,mshtml=

APT_PACKAGES := wine wine32:i386 wine64 g++-mingw-w64-i686-posix mingw-w64-i686-dev \
  libz-mingw-w64-dev googletest cmake make xvfb xauth python3 python3-pyftpdlib \
  imagemagick locales zip unzip curl zlib1g-dev clang libclang-rt-14-dev file \
  binutils-mingw-w64-i686 x11-utils

.PHONY: all setup build native test run bench reliability clean

all: build

setup: $(BUILD)/.setup-done

$(BUILD)/.setup-done: Makefile
	@bash tools/setup.sh $(APT_PACKAGES)
	@mkdir -p $(BUILD) && touch $@

$(BUILD)/CMakeCache.txt: $(BUILD)/.setup-done
	cmake -S . -B $(BUILD) -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake -DCMAKE_BUILD_TYPE=Release

build: $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j$(JOBS)
	@tools/wine-prefix.sh

native: $(BUILD)/.setup-done
	cmake -S tests/native -B $(NATIVE) -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build $(NATIVE) -j$(JOBS)

test: build native
	cd $(NATIVE) && ctest --output-on-failure -j$(JOBS)
	cd $(BUILD) && ctest --output-on-failure -j$(JOBS); rc=$$?; ../tools/wine-stop.sh; exit $$rc

run: build
	@tools/run-demo.sh $(CURDIR)/$(BUILD)

bench: build
	@tools/run-bench.sh $(CURDIR)/$(BUILD)

# Fault injection against the real program (tools/reliability.sh).
reliability: build
	@tools/reliability.sh $(CURDIR)/$(BUILD)

clean:
	-WINEPREFIX=$(WINEPREFIX) wineserver -k 2>/dev/null
	rm -rf $(BUILD)
