// SPDX-License-Identifier: MIT
// What the page's checks (tests/web/page_test.mjs) and its benchmark
// (bench/page_bench.mjs) share: a static server of our own for build-web/,
// and the two browsers on software renderers, Debian's headless Chromium
// (WebGL2 on SwiftShader) and Debian's Firefox ESR in a private Xvfb (WebGL2
// on Mesa's llvmpipe: headless Firefox gives no WebGL2 here). Each launch
// gives { browser, name, close }, and close ends all it started.
import { spawn } from 'node:child_process';
import fs from 'node:fs';
import http from 'node:http';
import os from 'node:os';
import path from 'node:path';
import puppeteer from 'puppeteer-core';

const contentTypes = {
    '.html': 'text/html; charset=utf-8',
    '.js': 'text/javascript; charset=utf-8',
    '.css': 'text/css; charset=utf-8',
    '.wasm': 'application/wasm',
    '.png': 'image/png',
    '.tga': 'application/octet-stream',
    '.webmanifest': 'application/manifest+json',
};

// Serves the folder `site` on a free port of 127.0.0.1 (so that a person's
// scripts/web on 8000 is left alone). Under each prefix of `withheld` the
// same site is served without the file it names (HTTP 404).
export function serveSite(site, withheld = {}) {
    const root = path.resolve(site);
    const server = http.createServer((request, response) => {
        let name = decodeURIComponent(new URL(request.url, 'http://host').pathname);
        let without;
        const prefix = Object.keys(withheld).find((p) => name.startsWith(p + '/'));
        if (prefix) {
            name = name.slice(prefix.length);
            without = path.join(root, withheld[prefix]);
        }
        if (name.endsWith('/'))
            name += 'index.html';
        const file = path.join(root, path.normalize(name));
        if (file === without || !file.startsWith(root + path.sep)
            || !fs.statSync(file, { throwIfNoEntry: false })?.isFile()) {
            response.writeHead(404, { 'Content-Type': 'text/plain' }).end('not found\n');
            return;
        }
        response.writeHead(200, {
            'Content-Type': contentTypes[path.extname(file)] ?? 'application/octet-stream',
            'Cache-Control': 'no-store',
        });
        fs.createReadStream(file).pipe(response);
    });
    return new Promise((resolve, reject) => {
        server.once('error', reject);
        server.listen(0, '127.0.0.1', () => resolve(server));
    });
}

// Every page is laid out in this viewport, at one device pixel per CSS pixel.
const viewport = { width: 640, height: 720, deviceScaleFactor: 1 };

function firstExisting(paths, what) {
    const found = paths.find((p) => fs.existsSync(p));
    if (!found)
        throw new Error(`no ${what} found (looked for ${paths.join(', ')}); scripts/setup installs it`);
    return found;
}

// What WebGL2 draws with in this browser, e.g. "WebGL2 on SwiftShader".
async function rendererOf(browser) {
    const page = await browser.newPage();
    try {
        const renderer = await page.evaluate(() => {
            const gl = document.createElement('canvas').getContext('webgl2');
            if (!gl)
                return 'no WebGL2';
            const info = gl.getExtension('WEBGL_debug_renderer_info');
            return info ? gl.getParameter(info.UNMASKED_RENDERER_WEBGL) : gl.getParameter(gl.RENDERER);
        });
        const known = ['SwiftShader', 'llvmpipe'].find((n) => renderer.includes(n));
        return known ? `WebGL2 on ${known}` : renderer;
    } finally {
        await page.close();
    }
}

// "Chromium 156, WebGL2 on SwiftShader" from the browser's version string.
async function describe(browser, label) {
    const major = (await browser.version()).replace(/^[^/]*\//, '').replace(/\..*/, '');
    return `${label} ${major}, ${await rendererOf(browser)}`;
}

// What must not outlive this process, however it ends: each launch's
// processes and folders, ended at once on exit or on a signal.
const atExit = new Set();
let exitHandled = false;

function endAtExit(step) {
    if (!exitHandled) {
        exitHandled = true;
        process.on('exit', () => atExit.forEach((end) => end()));
        for (const signal of ['SIGINT', 'SIGTERM', 'SIGHUP'])
            process.on(signal, () => process.exit(128 + os.constants.signals[signal]));
    }
    const guarded = () => attempt(step);
    atExit.add(guarded);
    return guarded;
}

function attempt(step) {
    try {
        step();
    } catch {
        // ended already
    }
}

// A launch's close: `steps` in reverse order, each run once, whatever fails.
// Each step is [async step, its hasty form for exit]; the hasty forms run
// if the process ends before close does.
function closer(steps) {
    const hasty = endAtExit(() => [...steps].reverse().forEach(([, now]) => attempt(now)));
    let done = false;
    return async () => {
        if (done)
            return;
        done = true;
        for (const [step] of [...steps].reverse())
            await Promise.resolve().then(step).catch(() => {});
        atExit.delete(hasty);
    };
}

// A browser's profile folder: removed on close, and at an early exit
// after every process that names it on its command line (the browser, even
// one still starting) has been ended and given a moment to be gone.
function profileFolder(browserName) {
    const folder = fs.mkdtempSync(path.join(os.tmpdir(), `tollmere-${browserName}-`));
    const remove = () => fs.rmSync(folder, { recursive: true, force: true });
    const endUsersThenRemove = () => {
        let ended = 0;
        for (const pid of fs.readdirSync('/proc').filter((name) => /^[0-9]+$/.test(name)))
            attempt(() => {
                if (fs.readFileSync(`/proc/${pid}/cmdline`, 'latin1').includes(folder))
                    ended += process.kill(Number(pid), 'SIGKILL');
            });
        if (ended)
            Atomics.wait(new Int32Array(new SharedArrayBuffer(4)), 0, 0, 300);
        remove();
    };
    return { folder, steps: [remove, endUsersThenRemove] };
}

// Ended on close; at an early exit puppeteer ends the browser itself.
function browserSteps(browser) {
    return [() => browser.close(), () => {}];
}

const chromiumPaths = ['/usr/bin/chromium-headless-shell', '/usr/lib/chromium/chromium-headless-shell',
                       '/usr/bin/chromium'];

// Headless Chromium; `extraArgs` add to its command line.
export async function launchChromium(extraArgs = []) {
    const executablePath = firstExisting(chromiumPaths, 'Chromium');
    const profile = profileFolder('chromium');
    const cleanups = [profile.steps];
    const close = closer(cleanups);
    const args = ['--disable-background-networking', '--disable-component-update', '--disable-sync',
                  '--no-first-run', '--enable-unsafe-swiftshader', '--use-angle=swiftshader', ...extraArgs];
    // Chromium's sandbox refuses to start as root.
    if (process.getuid?.() === 0)
        args.push('--no-sandbox');
    try {
        const browser = await puppeteer.launch({ executablePath, headless: 'shell', userDataDir: profile.folder, args,
                                                 defaultViewport: viewport });
        cleanups.push(browserSteps(browser));
        return { browser, name: await describe(browser, 'Chromium'), close };
    } catch (error) {
        await close();
        throw error;
    }
}

// A private Xvfb, its display number read from -displayfd (no guessed
// numbers). Its steps end it: waiting until it has, or at once at exit.
function startPrivateDisplay() {
    const server = spawn('Xvfb', ['-displayfd', '3', '-screen', '0', '1024x768x24', '-nolisten', 'tcp', '-noreset'],
                         { stdio: ['ignore', 'ignore', 'ignore', 'pipe'] });
    const exited = new Promise((resolve) => server.once('exit', resolve));
    const end = endAtExit(() => server.exitCode === null && server.signalCode === null && server.kill('SIGTERM'));
    const steps = [() => {
        end();
        return exited;
    }, end];
    return new Promise((resolve, reject) => {
        let text = '';
        const timer = setTimeout(() => {
            end();
            reject(new Error('a private Xvfb did not start within 20 s'));
        }, 20000);
        server.once('error', (error) => {
            clearTimeout(timer);
            reject(new Error(`cannot start Xvfb (is the xvfb package installed?): ${error.message}`));
        });
        server.once('exit', (code, signal) => {
            clearTimeout(timer);
            reject(new Error(`Xvfb ended before it took clients (${signal ?? `status ${code}`})`));
        });
        server.stdio[3].on('data', (bytes) => {
            text += bytes;
            if (!text.includes('\n'))
                return;
            clearTimeout(timer);
            server.stdio[3].destroy();
            resolve({ display: `:${text.trim()}`, steps });
        });
    });
}

// This environment with X on `display` alone: a person's Wayland session
// or MOZ_HEADLESS would take Firefox off the private server.
function onDisplay(display) {
    const env = { ...process.env, DISPLAY: display, MOZ_ENABLE_WAYLAND: '0' };
    delete env.WAYLAND_DISPLAY;
    delete env.MOZ_HEADLESS;
    return env;
}

const firefoxPaths = ['/usr/bin/firefox-esr', '/usr/bin/firefox'];

// Firefox ESR, not headless, in a private Xvfb of its own, driven over
// WebDriver BiDi: headless, it gives no WebGL2 on this kind of machine, and
// WebGL on Mesa's software renderer needs webgl.force-enabled.
export async function launchFirefox() {
    const executablePath = firstExisting(firefoxPaths, 'Firefox (firefox-esr)');
    const profile = profileFolder('firefox');
    const cleanups = [profile.steps];
    const close = closer(cleanups);
    try {
        const display = await startPrivateDisplay();
        cleanups.push(display.steps);
        const browser = await puppeteer.launch({
            browser: 'firefox', executablePath, headless: false, defaultViewport: viewport, userDataDir: profile.folder,
            env: onDisplay(display.display),
            extraPrefsFirefox: { 'webgl.force-enabled': true, 'layout.css.devPixelsPerPx': '1.0' },
        });
        cleanups.push(browserSteps(browser));
        return { browser, name: await describe(browser, 'Firefox'), close };
    } catch (error) {
        await close();
        throw error;
    }
}
