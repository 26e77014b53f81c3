// SPDX-License-Identifier: MIT
// What the page's checks (tests/web/page_test.mjs) and its benchmark
// (bench/page_bench.mjs) share: a static server of our own for build-web/,
// and the three browsers on software renderers, Debian's headless Chromium
// (WebGL2 on SwiftShader), Debian's Firefox ESR in a private Xvfb (WebGL2
// on Mesa's llvmpipe: headless Firefox gives no WebGL2 here) and WebKitGTK's
// MiniBrowser in another (llvmpipe too). Each launch gives { browser, name,
// close }, and close ends all it started.
import { spawn } from 'node:child_process';
import fs from 'node:fs';
import http from 'node:http';
import net from 'node:net';
import os from 'node:os';
import path from 'node:path';
import { PNG } from 'pngjs';
import puppeteer from 'puppeteer-core';
import { Builder, By } from 'selenium-webdriver';

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
// Until `fn`, run in the page by page.evaluate, gives a true value. Firefox
// ESR 140 runs puppeteer's own waitForFunction, which makes its test in the
// page with `new Function`, under the page's Content-Security-Policy, which
// refuses it; what evaluate runs is not the page's script.
async function pollUntil(page, fn, timeout, args) {
    for (const end = Date.now() + timeout; !(await page.evaluate(fn, ...args));) {
        if (Date.now() > end)
            throw new Error(`Waiting failed: ${timeout}ms exceeded`);
        await new Promise((done) => setTimeout(done, 50));
    }
}

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
        const newPage = browser.newPage.bind(browser);
        browser.newPage = async (...options) => {
            const page = await newPage(...options);
            page.waitForFunction = (fn, { timeout }, ...args) => pollUntil(page, fn, timeout, args);
            return page;
        };
        return { browser, name: await describe(browser, 'Firefox'), close };
    } catch (error) {
        await close();
        throw error;
    }
}

// ---- WebKitGTK

// A free port of 127.0.0.1 for WebKitWebDriver, which cannot pick its own.
function freePort() {
    return new Promise((resolve, reject) => {
        const probe = net.createServer().once('error', reject);
        probe.listen(0, '127.0.0.1', () => {
            const { port } = probe.address();
            probe.close(() => resolve(port));
        });
    });
}

// WebKitWebDriver answering on `port`, or a failure within 20 s.
async function driverReady(port, driver) {
    for (const end = Date.now() + 20000; Date.now() < end;) {
        if (driver.exitCode !== null)
            throw new Error(`WebKitWebDriver ended (status ${driver.exitCode})`);
        const ready = await fetch(`http://127.0.0.1:${port}/status`).then((r) => r.ok, () => false);
        if (ready)
            return;
        await new Promise((done) => setTimeout(done, 100));
    }
    throw new Error('WebKitWebDriver did not answer within 20 s');
}

const mouseButtons = { left: 0, middle: 1, right: 2, back: 3, forward: 4 };

// Just enough of puppeteer's Page for the page's checks, over WebDriver
// classic, which gives no console, uncaught errors or requests: `console` is
// false so that the checks skip what they would read there. WebKitGTK's
// element screenshot leaves out part of a WebGL canvas, so an element's is
// cut from the window's.
class WebDriverPage {
    console = false;

    constructor(driver) {
        this.driver = driver;
        this.mouse = { click: (x, y, { button = 'left' } = {}) => this.click(x, y, mouseButtons[button]) };
    }

    browser() {
        return { protocol: 'webdriver' };
    }

    on() {}

    goto(address) {
        return this.driver.get(address);
    }

    reload() {
        return this.driver.navigate().refresh();
    }

    // W3C WebDriver waits for a promise the script returns.
    evaluate(fn, ...args) {
        return this.driver.executeScript(`return (${fn}).apply(null, arguments);`, ...args);
    }

    waitForFunction(fn, { timeout }, ...args) {
        return pollUntil(this, fn, timeout, args);
    }

    $eval(selector, fn) {
        return this.driver.executeScript(`return (${fn})(document.querySelector(arguments[0]));`, selector);
    }

    $$eval(selector, fn) {
        return this.driver.executeScript(`return (${fn})([...document.querySelectorAll(arguments[0])]);`, selector);
    }

    async $(selector) {
        const box = () => this.$eval(selector, (e) => {
            const r = e.getBoundingClientRect();
            return { x: r.x, y: r.y, width: r.width, height: r.height };
        });
        const element = await this.driver.findElement(By.css(selector));
        return {
            boundingBox: box,
            screenshot: async () => {
                const window = PNG.sync.read(Buffer.from(await this.driver.takeScreenshot(), 'base64'));
                const { x, y, width, height } = await box();
                const out = new PNG({ width: Math.round(width), height: Math.round(height) });
                PNG.bitblt(window, out, Math.round(x), Math.round(y), out.width, out.height, 0, 0);
                return PNG.sync.write(out);
            },
            uploadFile: (...files) => element.sendKeys(files.join('\n')),
        };
    }

    click(x, y, button) {
        const at = { x: Math.round(x), y: Math.round(y) };
        return this.driver.actions({ async: true }).move(at).press(button).release(button).perform();
    }

    // One window for all: the next page replaces this one.
    close() {
        return this.driver.get('about:blank');
    }
}

// MiniBrowser, which Debian's libwebkit2gtk-4.1-0 ships for WebKitWebDriver.
function miniBrowser() {
    const dirs = fs.readdirSync('/usr/lib').map((d) => `/usr/lib/${d}/webkit2gtk-4.1/MiniBrowser`);
    return firstExisting(dirs, 'MiniBrowser (webkit2gtk-driver)');
}

// WebKitGTK's MiniBrowser in a private Xvfb, driven through Debian's
// WebKitWebDriver (webkit2gtk-driver) by selenium-webdriver.
export async function launchWebKit() {
    const binary = miniBrowser();
    const cleanups = [];
    const close = closer(cleanups);
    try {
        const display = await startPrivateDisplay();
        cleanups.push(display.steps);
        const port = await freePort();
        const server = spawn('WebKitWebDriver', [`--port=${port}`, '--host=127.0.0.1'],
                             { env: onDisplay(display.display), stdio: 'ignore' });
        const end = endAtExit(() => server.exitCode === null && server.kill('SIGTERM'));
        cleanups.push([end, end]);
        await driverReady(port, server);
        const driver = await new Builder().usingServer(`http://127.0.0.1:${port}`).withCapabilities({
            browserName: 'MiniBrowser',
            'webkitgtk:browserOptions': { binary, args: ['--automation'] },
        }).build();
        cleanups.push([() => driver.quit(), () => {}]);
        const page = new WebDriverPage(driver);
        const version = (await driver.getCapabilities()).get('browserVersion') ?? '';
        const browser = { newPage: async () => page };
        // WebKit names every renderer "Apple GPU".
        const renderer = await rendererOf(browser);
        const shown = renderer.startsWith('WebGL2 on') || renderer === 'no WebGL2' ? renderer : 'WebGL2';
        return { browser, close, name: `WebKitGTK ${version.replace(/^(\d+\.\d+).*/, '$1')}, ${shown}` };
    } catch (error) {
        await close();
        throw error;
    }
}
