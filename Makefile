# One-command entry points; each does all set-up on a fresh Debian machine.
#   make test   build everything and run the whole test suite
#   make run    build and start the wizard against the bundled local update server
SHELL := /bin/bash
BUILD := build
NATIVE := build/native
JOBS ?= 2
# Both builds are made on every machine, warnings as errors in each:
# build/ is the product, the 32-bit update.exe, with its tests and
# benchmarks; build/x64/ the same sources for 64-bit Windows. The tests, the
# demo and the benchmarks run the 32-bit build wherever this machine runs
# 32-bit code, natively or under emulation (tools/i386-emulation.sh turns it
# on where the processor's 32-bit mode is off); only where that cannot be
# had do they run the 64-bit build. Which one runs is decided after set-up,
# in each recipe ($(RUN) below), because set-up is what may make 32-bit
# code run.
RUN = $$($(CURDIR)/tools/run-build.sh $(CURDIR))
OTHER = $$($(CURDIR)/tools/run-build.sh --other $(CURDIR))
export WINEDEBUG := -all
export WINEDLLOVERRIDES := mscoree,mshtml=

APT_PACKAGES := wine wine32:i386 wine64 g++-mingw-w64-i686-posix mingw-w64-i686-dev \
  libz-mingw-w64-dev googletest cmake make xvfb xauth python3 python3-pyftpdlib \
  imagemagick locales zip unzip curl zlib1g-dev clang libclang-rt-14-dev file \
  binutils-mingw-w64-i686 x11-utils \
  g++-mingw-w64-x86-64-posix mingw-w64-x86-64-dev binutils-mingw-w64-x86-64 python3-cryptography \
  tinyproxy

.PHONY: all setup build run-build native test run bench reliability clean

all: build

setup: $(BUILD)/.setup-done

$(BUILD)/.setup-done: Makefile
	@bash tools/setup.sh $(APT_PACKAGES)
	@mkdir -p $(BUILD) && touch $@

$(BUILD)/CMakeCache.txt: $(BUILD)/.setup-done
	cmake -S . -B $(BUILD) -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake -DCMAKE_BUILD_TYPE=Release

$(BUILD)/x64/CMakeCache.txt: $(BUILD)/.setup-done
	cmake -S . -B $(BUILD)/x64 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake -DCMAKE_BUILD_TYPE=Release

build: run-build
	cmake --build $(OTHER) -j$(JOBS)

# The build whose programs run here, ready to run.
run-build: $(BUILD)/CMakeCache.txt $(BUILD)/x64/CMakeCache.txt
	@tools/i386-emulation.sh | tee $(BUILD)/arch.txt
	cmake --build $(RUN) -j$(JOBS)
	@tools/wine-prefix.sh --copy $(RUN)/wineprefix-local

native: $(BUILD)/.setup-done
	cmake -S tests/native -B $(NATIVE) -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build $(NATIVE) -j$(JOBS)

# The native archive tests (a timed fuzzing run among them) take a core of
# their own while the Windows tests, which mostly take turns in one prefix,
# run beside them. The build that does not run here compiles beside them
# too, at the lowest priority, so that it takes only what the tests leave;
# a fault in it fails the run all the same. Their output follows the
# Windows tests'.
test: run-build native
	nice -n 19 cmake --build $(OTHER) -j$(JOBS) >$(BUILD)/other-build.log 2>&1 & other=$$!; \
	cd $(NATIVE) && ctest --output-on-failure -j1 >native-tests.log 2>&1 & native=$$!; \
	cd $(RUN) && ctest --output-on-failure -j$(JOBS); rc=$$?; $(CURDIR)/tools/wine-stop.sh; \
	wait $$native; nrc=$$?; echo "== native archive tests"; cat $(CURDIR)/$(NATIVE)/native-tests.log; \
	wait $$other; orc=$$?; echo "== the other build ($(OTHER))"; \
	if [ $$orc = 0 ]; then echo "compiled"; else cat $(CURDIR)/$(BUILD)/other-build.log; fi; \
	$(CURDIR)/tools/run-build.sh --say $(CURDIR); [ $$rc = 0 ] && [ $$nrc = 0 ] && [ $$orc = 0 ]

run: build
	@tools/run-demo.sh $(RUN)

bench: build
	@tools/run-bench.sh $(RUN)

# Fault injection against the real program (tools/reliability.sh).
reliability: build
	@tools/reliability.sh $(RUN)

clean:
	-tools/wine-stop.sh
	rm -rf $(BUILD)
