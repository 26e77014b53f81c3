// SPDX-License-Identifier: MIT
// The browser version of Tollmere as a person meets it: build-web/ served
// from a local server of our own, opened in a real headless browser, driven
// with real mouse events, and judged by what its canvas shows (screenshots,
// as the browser composites them), in two engines: headless Chromium and
// Firefox ESR (tests/web/browsers.mjs starts them). Each browser starts once
// for all its checks; each check opens the page in a tab of its own. Prints one line per check and a
// summary line last; writes a JUnit file for scripts/test to count.
//   node tests/web/page_test.mjs --site build-web --goldens tests/golden
//        --out build-web/test-results [--junit FILE] [--page-picture FILE.png]
//        [--snapshot build/tollmere-snapshot]   (the page at ratio 2 against it)
//        [--only TEXT]   (only the checks whose name holds TEXT)
import { execFile } from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { parseArgs } from 'node:util';
import zlib from 'node:zlib';
import { PNG } from 'pngjs';

import { launchChromium, launchFirefox, launchWebKit, serveSite } from './browsers.mjs';

const { values: options } = parseArgs({
    options: {
        site: { type: 'string', default: 'build-web' },
        goldens: { type: 'string', default: 'tests/golden' },
        out: { type: 'string', default: 'build-web/test-results' },
        junit: { type: 'string' },
        'page-picture': { type: 'string' },
        snapshot: { type: 'string' },
        only: { type: 'string' }, // only the checks whose name holds this
    },
});

// A pixel differs when a channel is off by more than this (of 255); a view
// passes with at most this share of its pixels differing. WebGL on a
// software renderer rasterises and filters a little unlike Mesa's llvmpipe,
// which drew the goldens.
const channelTolerance = 8;
const viewTolerancePercent = 1;
const viewSteps = [0, 20, 45, 130];
const canvasSize = 500;
const frameTimeout = 30000; // ms for the page to draw what is waited for

// Under this prefix the site is served without this picture (HTTP 404);
// the site keeps it compressed.
const withoutSignPrefix = '/without-sign';
const missingPicture = 'data/sign.tga';
const missingFile = `${missingPicture}.gz`;

// ---- pictures

function readPng(file) {
    return PNG.sync.read(fs.readFileSync(file));
}

function writePng(file, picture) {
    fs.mkdirSync(path.dirname(file), { recursive: true });
    fs.writeFileSync(file, PNG.sync.write(picture, { colorType: 2 }));
}

function pixelDifference(a, b, i) {
    return Math.max(Math.abs(a.data[i] - b.data[i]), Math.abs(a.data[i + 1] - b.data[i + 1]),
                    Math.abs(a.data[i + 2] - b.data[i + 2]));
}

// How many pixels differ by more than the tolerance, and the worst channel difference.
function comparePictures(expected, actual, tolerance = channelTolerance) {
    if (expected.width !== actual.width || expected.height !== actual.height)
        return { sameSize: false };
    let off = 0, worst = 0;
    for (let i = 0; i < expected.data.length; i += 4) {
        const d = pixelDifference(expected, actual, i);
        worst = Math.max(worst, d);
        off += d > tolerance;
    }
    const pixels = expected.width * expected.height;
    return { sameSize: true, pixels, off, worst, percent: (100 * off) / pixels };
}

// The expected picture dimmed to a quarter, each differing pixel in full red.
function diffPicture(expected, actual) {
    const diff = new PNG({ width: expected.width, height: expected.height });
    for (let i = 0; i < expected.data.length; i += 4) {
        const off = pixelDifference(expected, actual, i) > channelTolerance;
        for (let c = 0; c < 3; ++c)
            diff.data[i + c] = off ? (c === 0 ? 255 : 0) : expected.data[i + c] >> 2;
        diff.data[i + 3] = 255;
    }
    return diff;
}

function describe(c) {
    return c.sameSize ? `${c.off} of ${c.pixels} pixels (${c.percent.toFixed(3)} %) differ by more than ` +
                            `${channelTolerance}/255 (worst ${c.worst}/255)`
                      : 'the pictures differ in size';
}

// The colours a picture holds, as "r,g,b" strings (at most `limit` of them).
function coloursIn(picture, limit = 16) {
    const seen = new Set();
    for (let i = 0; i < picture.data.length && seen.size < limit; i += 4)
        seen.add(`${picture.data[i]},${picture.data[i + 1]},${picture.data[i + 2]}`);
    return seen;
}

// ---- the page

const viewName = (steps) => `view-${String(steps).padStart(3, '0')}`;

// Runs in the page before its own script: each breach of its
// Content-Security-Policy goes to the console, where the checks look.
function reportViolations() {
    document.addEventListener('securitypolicyviolation', (event) => console.log(
        `policy violation: ${event.effectiveDirective} refused ${event.blockedURI || 'inline'} (${event.sourceFile}:${event.lineNumber})`));
}

// A tab with the page at `address`, its console, uncaught errors and
// requests answered 404 kept.
async function openPage(browser, address, viewport) {
    const page = await browser.newPage();
    if (viewport)
        await page.setViewport(viewport);
    const consoleLines = [], errors = [], requests = [], notFound = [];
    page.on('console', (message) => consoleLines.push(message.text()));
    page.on('pageerror', (error) => errors.push(String(error.message ?? error)));
    page.on('request', (request) => requests.push(request.url()));
    page.on('response', (response) => response.status() === 404 && notFound.push(response.url()));
    await page.evaluateOnNewDocument?.(reportViolations); // not over WebDriver classic
    await page.goto(address, { waitUntil: 'load' });
    // WebKit's driver reports no console: what would be read there is not.
    return { page, consoleLines, errors, requests, notFound, console: page.console ?? true };
}

// The page's own counters (exported by the viewer for the tests).
function counters(page) {
    return page.evaluate(() => ({
        frames: Module._tollmere_frames_shown(),
        frameCalls: Module._tollmere_frame_calls(),
        steps: Module._tollmere_orbit_steps(),
        glErrors: Module._tollmere_gl_errors(),
    }));
}

// How far a page has got: started, frames shown, frame callbacks run.
function progress(page) {
    return page.evaluate(() => {
        const started = typeof Module !== 'undefined' && Module.tollmereStarted === true;
        return {
            started,
            frames: started && Module._tollmere_frames_shown(),
            frameCalls: started && Module._tollmere_frame_calls(),
            steps: started && Module._tollmere_orbit_steps(),
            visibility: document.visibilityState,
            message: document.getElementById('message')?.textContent,
        };
    }).catch((e) => String(e));
}

// Waits for `frames` frames shown; on a timeout, says how far the page got.
// WebKitGTK under WebDriver once (in about fifteen runs, on a loaded
// machine) showed no frame of a page that had started. A page for which the
// browser has run no animation frame at all is loaded again, once, and said
// so; a page whose frames ran but drew nothing fails at once.
async function framesShownAtLeast(opened, frames) {
    // The viewer's exports are called only once it has started: called
    // sooner, emscripten 3.1.69's exports keep a missing function for good,
    // and 3.1.6's throw (Firefox's driver then stops polling).
    const shown = () => opened.page.waitForFunction((n) => typeof Module !== 'undefined' &&
                                                           Module.tollmereStarted === true &&
                                                           Module._tollmere_frames_shown() >= n,
                                                    { timeout: frameTimeout }, frames);
    let state;
    try {
        await shown();
        return;
    } catch {
        state = await progress(opened.page);
    }
    if (opened.page.browser().protocol === 'webdriver' && state.started && state.frameCalls === 0) {
        console.log(`note: no animation frame ran within ${frameTimeout / 1000} s: ${JSON.stringify(state)}; ` +
                    'loaded again');
        await opened.page.reload();
        try {
            await shown();
            return;
        } catch {
            state = await progress(opened.page);
        }
    }
    throw new Error(`${frames} frames not shown within ${frameTimeout / 1000} s: ${JSON.stringify(state)}; ` +
                    `console: ${opened.consoleLines.slice(-5).join(' | ')}; errors: ${opened.errors.join(' | ')}`);
}

// Waits until the browser has run `n` more animation frames.
function animationFrames(page, n) {
    return page.evaluate((count) => new Promise((done) => {
        let left = count;
        const tick = () => (--left <= 0 ? done() : requestAnimationFrame(tick));
        requestAnimationFrame(tick);
    }), n);
}

// What the canvas shows now, as a person sees it; `side` null takes any size.
async function canvasPicture(page, side = canvasSize) {
    const canvas = await page.$('#canvas');
    const picture = PNG.sync.read(Buffer.from(await canvas.screenshot({ type: 'png' })));
    if (side !== null && (picture.width !== side || picture.height !== side))
        throw new Error(`the canvas shows ${picture.width} x ${picture.height} pixels, not ${canvasSize} x ${canvasSize}`);
    return picture;
}

// check(opened) on the page at `address` (in `viewport`, when given); the
// tab is closed afterwards, whatever happens.
async function onPage(browser, address, check, viewport) {
    const opened = await openPage(browser, address, viewport);
    try {
        return await check(opened);
    } finally {
        await opened.page.close();
    }
}

// Waits until the page's first frame is on the screen.
async function firstFrameShown(opened) {
    await framesShownAtLeast(opened, 1);
    await animationFrames(opened.page, 2); // the frame handed over is on the screen
}

// check(opened) on the page at `steps` orbit steps, once its first frame is shown.
function atStep(browser, site, steps, check) {
    return onPage(browser, `${site}/#steps=${steps}`, async (opened) => {
        await firstFrameShown(opened);
        return check(opened);
    });
}

function expect(condition, message) {
    if (!condition)
        throw new Error(message);
}

// No uncaught error, no breach of the page's policy, no request answered 404.
function expectNoPageErrors(opened) {
    expect(opened.errors.length === 0, `the page threw: ${opened.errors.join('; ')}`);
    const violations = opened.consoleLines.filter((line) => line.startsWith('policy violation:'));
    expect(violations.length === 0, violations.join('; '));
    expect(opened.notFound.length === 0, `answered 404: ${opened.notFound.join(', ')}`);
}

// The canvas's centre, where a person clicks or taps.
async function canvasCentre(page) {
    const box = await (await page.$('#canvas')).boundingBox();
    return [box.x + box.width / 2, box.y + box.height / 2];
}

function orbitStepsAtLeast(page, steps) {
    return page.waitForFunction((n) => Module._tollmere_orbit_steps() >= n, { timeout: frameTimeout }, steps);
}

// Context menus the page raises from now on, and those it lets open.
function countMenus(page) {
    return page.evaluate(() => {
        window.tollmereMenus = { seen: 0, allowed: 0 };
        document.addEventListener('contextmenu', (event) => {
            window.tollmereMenus.seen++;
            window.tollmereMenus.allowed += !event.defaultPrevented;
        });
    });
}

// ---- the checks: each returns a line for the report, or throws what is wrong

// `engine` is { id, viewPercents }: the share of differing pixels is kept
// there for the summary, and a failing view's files are named after it.
async function checkView(browser, site, steps, engine) {
    return atStep(browser, site, steps, async (opened) => {
        const { page } = opened;
        const actual = await canvasPicture(page);
        const golden = readPng(path.join(options.goldens, `${viewName(steps)}.png`));
        const c = comparePictures(golden, actual);
        engine.viewPercents[steps] = c.percent;
        const shown = await counters(page);
        expectNoPageErrors(opened);
        expect(shown.steps === steps, `#steps=${steps} gave ${shown.steps} orbit steps`);
        if (steps === 0 && engine.id === 'chromium' && options['page-picture'])
            await writePagePicture(page, options['page-picture']);
        if (c.sameSize && c.percent <= viewTolerancePercent)
            return describe(c);
        const actualPath = path.join(options.out, `${engine.id}-${viewName(steps)}-actual.png`);
        const diffPath = path.join(options.out, `${engine.id}-${viewName(steps)}-diff.png`);
        writePng(actualPath, actual);
        if (c.sameSize)
            writePng(diffPath, diffPicture(golden, actual));
        throw new Error(`${describe(c)}, more than ${viewTolerancePercent} %.\n  Differing pixels in red: ${diffPath}` +
                        `\n  What was drawn: ${actualPath}`);
    });
}

// The page as a person sees it (the canvas and what is under it, with the
// page's margin round them) for the README.
async function writePagePicture(page, file) {
    const clip = await page.evaluate(() => {
        const canvas = document.getElementById('canvas').getBoundingClientRect();
        const body = document.body.getBoundingClientRect();
        return { x: 0, y: 0, width: Math.ceil(canvas.right + canvas.left), height: Math.ceil(body.bottom + canvas.top) };
    });
    fs.mkdirSync(path.dirname(file), { recursive: true });
    await page.screenshot({ path: file, type: 'png', clip });
}

// Clicks that leave the camera standing: the page draws nothing more (its
// frame callback is not even called) and the picture stands; a stop at step
// 0 still links to its view.
async function expectStanding(page, what, picture) {
    await animationFrames(page, 2);
    const before = await counters(page);
    await animationFrames(page, 5);
    const after = await counters(page);
    expect(after.steps === before.steps, `after ${what} the orbit went on from ${before.steps} to ${after.steps} steps`);
    expect(after.frames === before.frames && after.frameCalls === before.frameCalls,
           `after ${what} ${after.frames - before.frames} frames were drawn and the frame callback called ` +
           `${after.frameCalls - before.frameCalls} times`);
    const standing = comparePictures(picture ?? await canvasPicture(page, null), await canvasPicture(page, null), 0);
    expect(standing.off === 0, `after ${what} the picture still changes: ${describe(standing)}`);
    return after;
}

// A left click sets the camera circling, one orbit step for each frame
// shown; a right or middle click stops it where it is, and the picture
// stands. The back and forward buttons do nothing.
async function checkClicks(browser, site) {
    return onPage(browser, `${site}/`, async (opened) => {
        await firstFrameShown(opened);
        const { page } = opened;
        await countMenus(page);
        const [x, y] = await canvasCentre(page);
        const still = await canvasPicture(page);
        // The back button is the browser's too: with no page to go back to,
        // only the page sees it. (Firefox's driver has no such call, nor
        // need.) WebKit's driver presses the left button for them.
        const protocol = page.browser().protocol;
        if (protocol === 'cdp')
            await (await page.createCDPSession()).send('Page.resetNavigationHistory');
        for (const button of protocol === 'webdriver' ? [] : ['back', 'forward'])
            await page.mouse.click(x, y, { button });
        expect((await expectStanding(page, 'the back and forward buttons', still)).steps === 0,
               'the back or forward button moved the camera');
        await page.mouse.click(x, y, { button: 'right' });
        await expectStanding(page, 'a right click at the start', still);
        const atStart = await page.evaluate(() => window.location.hash);
        expect(atStart === '#steps=0', `stopped at the start, the address ends in ${JSON.stringify(atStart)}`);
        const lines = [];
        for (const stop of ['right', 'middle']) {
            await page.mouse.click(x, y, { button: 'left' });
            await orbitStepsAtLeast(page, (await counters(page)).steps + 10);
            const a = await counters(page);
            await animationFrames(page, 5);
            const b = await counters(page);
            expect(b.steps > a.steps, `after a left click the orbit stands at ${b.steps} steps`);
            expect(b.steps - a.steps === b.frames - a.frames,
                   `while circling, ${b.steps - a.steps} orbit steps were taken in ${b.frames - a.frames} frames shown`);
            const circling = comparePictures(still, await canvasPicture(page));
            expect(circling.percent > 5, `after ${b.steps} orbit steps the canvas still shows the start view ` +
                                         `(${describe(circling)})`);

            await page.mouse.click(x, y, { button: stop });
            const later = await expectStanding(page, `a ${stop} click`);
            lines.push(`${stop} click stopped it at ${later.steps} steps`);
        }
        const menus = await page.evaluate(() => window.tollmereMenus);
        expect(menus.seen > 0, 'the right click raised no contextmenu event, so the check below proves nothing');
        expect(menus.allowed === 0, 'a right click on the canvas would open the context menu');
        expectNoPageErrors(opened);
        return `${protocol === 'webdriver' ? '' : 'back and forward do nothing; '}a right click at the start links ` +
               `#steps=0; left click circles one ` +
               `step per frame; ${lines.join(', ')}, no frame drawn since; no context menu`;
    });
}

// While the camera circles, 40 frames drawn and no GL error counted after any.
async function checkNoGlErrors(browser, site) {
    return atStep(browser, site, 0, async (opened) => {
        const { page } = opened;
        await page.mouse.click(...await canvasCentre(page), { button: 'left' });
        const start = await counters(page);
        await framesShownAtLeast(opened, start.frames + 40);
        const end = await counters(page);
        expect(end.glErrors === 0, `${end.glErrors} GL errors in ${end.frames} frames`);
        const warnings = opened.consoleLines.filter((line) => /webgl|GL_INVALID|GL ERROR/i.test(line));
        expect(warnings.length === 0, `the browser warned: ${warnings.slice(0, 5).join(' | ')}`);
        expectNoPageErrors(opened);
        return `${end.frames} frames, ${end.glErrors} GL errors`;
    });
}

// A picture the server does not give: the reader's own message on the page
// and in the console, the viewer ends, and the canvas shows no scene.
async function checkMissingPicture(browser, site) {
    return onPage(browser, `${site}${withoutSignPrefix}/`, async (opened) => {
        const { page } = opened;
        await page.waitForFunction(() => typeof Module !== 'undefined' && Module.tollmereEnded === true,
                                   { timeout: frameTimeout });
        await animationFrames(page, 5);
        const message = await page.$eval('#message', (element) => element.textContent);
        for (const line of ['Unable to load TGA File!', `tollmere: ${missingPicture}: `]) {
            expect(message.includes(line), `#message says ${JSON.stringify(message)}, without "${line}"`);
            expect(!opened.console || opened.consoleLines.some((text) => text.includes(line)),
                   `the console has no line "${line}"`);
        }
        const shown = await counters(page);
        expect(shown.frames === 0, `${shown.frames} frames were shown`);
        const colours = coloursIn(await canvasPicture(page));
        expect(colours.size === 1, `the canvas shows ${colours.size >= 16 ? 'a picture' : `${colours.size} colours`}, ` +
                                   'not an empty canvas');
        // A picture chosen now is ignored, and the message of the end stays.
        await withPictureFiles([{ name: 'Rear.tga', bytes: plainPicture(8, magenta) }],
                               async (paths) => (await page.$('#pictures')).uploadFile(...paths));
        await animationFrames(page, 5);
        const after = await page.$eval('#message', (element) => element.textContent);
        expect(after === message, `a picture chosen after the end made #message ${JSON.stringify(after)}`);
        return `#message: ${JSON.stringify(message.trim().split('\n').pop())}; no frame shown; a picture chosen ` +
               'after is ignored';
    });
}

// ---- pictures a person chooses, and the link to a view

// A TGA file's bytes: its 18-byte header (image type, sides, bits per pixel)
// and what follows it.
function tgaFile(type, width, height, bits, rest = Buffer.alloc(0)) {
    const header = Buffer.alloc(18);
    header[2] = type;
    header.writeUInt16LE(width, 12);
    header.writeUInt16LE(height, 14);
    header[16] = bits;
    return Buffer.concat([header, rest]);
}

// An uncompressed 24-bit picture of one colour ([r, g, b]).
function plainPicture(side, [r, g, b]) {
    const pixels = Buffer.alloc(side * side * 3);
    for (let i = 0; i < pixels.length; i += 3)
        pixels.set([b, g, r], i); // stored B, G, R
    return tgaFile(2, side, side, 24, pixels);
}

// Calls use(paths) with each { name, bytes } written in a folder of its own
// for the file chooser; the folders go afterwards.
async function withPictureFiles(files, use) {
    const root = fs.mkdtempSync(path.join(os.tmpdir(), 'tollmere-pictures-'));
    try {
        return await use(files.map((file, i) => {
            const dir = path.join(root, String(i));
            fs.mkdirSync(dir);
            const name = path.join(dir, file.name);
            fs.writeFileSync(name, file.bytes);
            return name;
        }));
    } finally {
        fs.rmSync(root, { recursive: true, force: true });
    }
}

// How many pixels show this colour, within the tolerance.
function pixelsOfColour(picture, [r, g, b], region = { x: 0, y: 0, width: picture.width, height: picture.height }) {
    let n = 0;
    for (let y = region.y; y < region.y + region.height; ++y)
        for (let x = region.x; x < region.x + region.width; ++x) {
            const i = 4 * (y * picture.width + x);
            n += Math.max(Math.abs(picture.data[i] - r), Math.abs(picture.data[i + 1] - g),
                          Math.abs(picture.data[i + 2] - b)) <= channelTolerance;
        }
    return n;
}

// What the page's own state says of chosen pictures: files handled so far,
// live textures, the virtual file system's scratch and picture folders.
function pictureState(page) {
    return page.evaluate(() => ({
        handled: Module._tollmere_pictures_handled(),
        textures: Module._tollmere_live_textures(),
        scratch: FS.readdir('/tmp').filter((name) => name !== '.' && name !== '..'),
        data: FS.readdir('/data').filter((name) => name !== '.' && name !== '..').sort(),
        message: document.getElementById('message').textContent,
    }));
}

// Chooses the files at these paths through the page's file input, as a
// person does, and waits until the page has handled them and drawn a frame since.
async function chooseFiles(page, paths) {
    const before = await page.evaluate(() => Module._tollmere_pictures_handled());
    await (await page.$('#pictures')).uploadFile(...paths);
    await page.waitForFunction((n) => Module._tollmere_pictures_handled() >= n, { timeout: frameTimeout },
                               before + paths.length)
        .catch(() => expect(false, `${paths.length} files chosen, not all handled within ${frameTimeout / 1000} s`));
    await animationFrames(page, 3);
}

function choosePictures(page, files) {
    return withPictureFiles(files, (paths) => chooseFiles(page, paths));
}

const sevenPictures = ['Rear.tga', 'Left.tga', 'Right.tga', 'Forward.tga', 'skyme.tga', 'brick.tga', 'sign.tga'];
const magenta = [255, 0, 255];
// The rear wall in the start view, above the floor, clear of the side walls.
const rearWall = { x: 30, y: 5, width: 440, height: 270 };
// The floor before the planters.
const floorStrip = { x: 0, y: 450, width: 500, height: 50 };

function expectNothingLeftBehind(state) {
    expect(state.textures === 7, `${state.textures} textures live, not the seven surfaces'`);
    expect(state.scratch.length === 0, `the page's /tmp keeps ${state.scratch.join(', ')}`);
    expect(JSON.stringify(state.data) === JSON.stringify([...sevenPictures].sort()),
           `the page's data/ holds ${state.data.join(', ')}`);
}

// A plain magenta Rear.tga chosen with the file input covers the rear wall
// from the next frame on; the other surfaces stay as they were.
async function checkChosenPicture(browser, site) {
    return atStep(browser, site, 0, async (opened) => {
        const { page } = opened;
        const before = await canvasPicture(page);
        expect(pixelsOfColour(before, magenta) === 0, 'the start view shows magenta already');
        await choosePictures(page, [{ name: 'Rear.tga', bytes: plainPicture(64, magenta) }]);
        const after = await canvasPicture(page);
        const wall = rearWall.width * rearWall.height;
        const onWall = pixelsOfColour(after, magenta, rearWall);
        // The bells' frame stands before the wall: most of it, not all, is seen.
        expect(onWall > 0.8 * wall, `${onWall} of the rear wall's ${wall} pixels show the chosen magenta`);
        const floorChange = comparePictures(cropPicture(before, floorStrip), cropPicture(after, floorStrip));
        expect(floorChange.off === 0, `the floor changed too: ${describe(floorChange)}`);
        const state = await pictureState(page);
        expect(state.message === '', `#message says ${JSON.stringify(state.message)}`);
        expectNothingLeftBehind(state);
        // What the page says of the seven, and that it fetched nothing from elsewhere.
        const listed = await page.$$eval('#surfaces li', (items) => items.map((item) => item.textContent));
        expect(listed.join(', ') === 'Rear.tga rear wall, Left.tga left wall, Right.tga right wall, ' +
                                     'Forward.tga forward wall, skyme.tga sky, brick.tga floor, sign.tga sign board',
               `the page lists ${JSON.stringify(listed)}`);
        // (data: and blob: addresses are the browser's own, fetched from nowhere.)
        const elsewhere = opened.requests.filter((url) => !url.startsWith(`${site}/`) && !/^(data|blob):/.test(url));
        expect(elsewhere.length === 0, `the page fetched ${elsewhere.join(', ')}`);
        expectNoPageErrors(opened);
        return `${(100 * onWall / wall).toFixed(1)} % of the rear wall magenta; ${state.textures} textures live; ` +
               `${opened.requests.length} requests, all to the build folder`;
    });
}

function cropPicture(picture, { x, y, width, height }) {
    const out = new PNG({ width, height });
    for (let row = 0; row < height; ++row)
        picture.data.copy(out.data, 4 * row * width, 4 * ((y + row) * picture.width + x),
                          4 * ((y + row) * picture.width + x + width));
    return out;
}

// Files the reader refuses, one for each of its reasons, and files the page
// refuses before reading them: each says why on the page, naming the file
// as the desktop's viewer words it, and the scene stays as it was.
async function checkRefusedPictures(browser, site) {
    const refused = [
        { name: 'Rear.tga', bytes: plainPicture(8, magenta).subarray(0, 10),
          says: 'tollmere: Rear.tga: too short: the file ends after 10 bytes, inside its 18-byte header' },
        { name: 'Left.tga', bytes: tgaFile(10, 65535, 65535, 32, Buffer.alloc(65536, 0xff)),
          says: 'tollmere: Left.tga: too large: 65535 x 65535 pixels; the limit is 67108864 pixels (8192 x 8192)' },
        { name: 'Right.tga', bytes: tgaFile(10, 8192, 8192, 32, Buffer.from([0xff, 1, 2, 3, 4])),
          says: 'tollmere: Right.tga: too short: the file ends long before its 8192 x 8192 pixels' },
        { name: 'Forward.tga', bytes: tgaFile(1, 4, 4, 8, Buffer.alloc(16)),
          says: 'tollmere: Forward.tga: not a kind of TGA file this viewer reads' },
        { name: 'skyme.tga', bytes: Buffer.alloc(0), says: 'tollmere: skyme.tga: is an empty file, not a picture' },
        { name: 'sign.tga', bytes: tgaFile(2, 0, 5, 24), says: 'tollmere: sign.tga: cannot be made into a texture (0 x 5 pixels)' },
        { name: 'rear.TGA', bytes: plainPicture(8, magenta),
          says: `tollmere: rear.TGA: not the name of a picture the page shows; name it as the one it replaces: Rear.tga (rear wall), ` },
    ];
    return atStep(browser, site, 0, async (opened) => {
        const { page } = opened;
        const before = await canvasPicture(page);
        await choosePictures(page, refused);
        const after = await canvasPicture(page);
        const state = await pictureState(page);
        const lines = state.message.split('\n');
        refused.forEach((file, i) => expect(lines[i]?.startsWith(file.says),
                                            `#message line ${i + 1} is ${JSON.stringify(lines[i])}, not "${file.says}..."`));
        for (const name of sevenPictures)
            expect(lines[refused.length - 1].includes(name), `the wrong name's message does not list ${name}`);
        const change = comparePictures(before, after, 0);
        expect(change.off === 0, `the scene changed after refused files: ${describe(change)}`);
        expectNothingLeftBehind(state);
        expect(!opened.console || opened.consoleLines.some((line) => line.includes(refused[0].says)),
               'the console has not the reason');
        expectNoPageErrors(opened);
        return `${refused.length} files refused, each named with its reason; the scene as it was`;
    });
}

// Files dropped on the page (a drop event with a DataTransfer made in the
// page: a headless browser has no desktop to drag from) go where chosen ones
// go: a magenta brick.tga covers the floor.
async function checkDroppedPicture(browser, site) {
    return atStep(browser, site, 0, async (opened) => {
        const { page } = opened;
        const before = await canvasPicture(page);
        const bytes = [...plainPicture(16, magenta)];
        await page.evaluate((data) => {
            const dropped = new DataTransfer();
            dropped.items.add(new File([new Uint8Array(data)], 'brick.tga'));
            document.body.dispatchEvent(new DragEvent('drop', { dataTransfer: dropped, bubbles: true, cancelable: true }));
        }, bytes);
        await page.waitForFunction(() => Module._tollmere_pictures_handled() >= 1, { timeout: frameTimeout });
        await animationFrames(page, 3);
        const after = await canvasPicture(page);
        const onFloor = pixelsOfColour(after, magenta, floorStrip);
        const floor = floorStrip.width * floorStrip.height;
        expect(onFloor === floor, `${onFloor} of ${floor} pixels of the floor show the dropped magenta`);
        const wallChange = comparePictures(cropPicture(before, rearWall), cropPicture(after, rearWall));
        expect(wallChange.off === 0, `the rear wall changed too: ${describe(wallChange)}`);
        expectNothingLeftBehind(await pictureState(page));
        expectNoPageErrors(opened);
        return 'a dropped brick.tga covers the floor';
    });
}

// A bad #steps is shown on the page, which draws the start view; a camera
// stopped after circling puts its step in the address (and takes it off
// while circling again), and that address opens the same frame.
async function checkLinkToView(browser, site) {
    return onPage(browser, `${site}/#steps=1000000`, async (opened) => {
        const { page } = opened;
        await framesShownAtLeast(opened, 1);
        const message = await page.$eval('#message', (element) => element.textContent);
        expect(message.includes('tollmere: the address ends in #steps=1000000, not #steps=N with N from 0 to 100000'),
               `#message says ${JSON.stringify(message)}`);
        expect((await counters(page)).steps === 0, 'a bad #steps did not give the start view');
        const [x, y] = await canvasCentre(page);
        // The bad fragment goes when the camera starts, and the step comes when it stops.
        await expectToggles(page, 'a left click', (again) => page.mouse.click(x, y, { button: again ? 'right' : 'left' }));
        const hash = await page.evaluate(() => window.location.hash);
        const stopped = await canvasPicture(page);
        const same = await onPage(browser, await page.evaluate(() => window.location.href), async (linked) => {
            await firstFrameShown(linked);
            expectNoPageErrors(linked);
            return comparePictures(stopped, await canvasPicture(linked.page), 0);
        });
        expect(same.off === 0, `the linked address shows another frame: ${describe(same)}`);
        expectNoPageErrors(opened);
        return `a bad #steps says so; stopped at ${hash}, and that address shows the same frame`;
    });
}

// ---- the page in every hand: any screen, touch, keys, screen readers

// The page's own words for the camera's two states.
const circlingWords = 'The camera circles the scene.';
const stoppedWords = (steps) => `The camera stopped at step ${steps}: link to this view`;

// What the live region, the address and the start/stop button say.
function cameraShown(page) {
    return page.evaluate(() => ({
        status: document.getElementById('status').textContent,
        link: document.querySelector('#status a')?.href,
        address: window.location.href,
        hash: window.location.hash,
        pressed: document.getElementById('camera').getAttribute('aria-pressed'),
        steps: Module._tollmere_orbit_steps(),
    }));
}

// `act` twice (the second time with `again` true): the camera circles, then
// stands with its step in the address and the live region, and the page
// draws nothing more.
async function expectToggles(page, way, act) {
    const before = await counters(page);
    await act(false);
    await orbitStepsAtLeast(page, before.steps + 5);
    const on = await cameraShown(page);
    expect(on.status === circlingWords && on.hash === '' && on.pressed === 'true',
           `after ${way} the page shows ${JSON.stringify(on)}`);
    await act(true);
    const off = await expectStanding(page, `${way} again`);
    const shown = await cameraShown(page);
    expect(shown.status === stoppedWords(off.steps) && shown.hash === `#steps=${off.steps}` &&
           shown.link === shown.address && shown.pressed === 'false',
           `after ${way} again, stopped at ${off.steps} steps, the page shows ${JSON.stringify(shown)}`);
    return `${way} circles, again stops at ${off.steps}`;
}

// The canvas's buffer follows its layout at the browser's next resize
// observation: waits (a while at most) for it to be its CSS width times `ratio`.
function bufferFollows(page, ratio) {
    return page.waitForFunction((r) => {
        const canvas = document.getElementById('canvas');
        return canvas.width === Math.round(canvas.getBoundingClientRect().width * r);
    }, { timeout: 5000 }, ratio).catch(() => {});
}

// The full-screen control shows the canvas square, as large as the screen
// allows beside the controls, drawing at that size, and takes it back.
// (Escape is the browser's own, which a headless one does not have.)
async function expectFullScreen(page) {
    const shown = () => page.evaluate(() => {
        const canvas = document.getElementById('canvas');
        const box = canvas.getBoundingClientRect();
        return { full: document.fullscreenElement?.id ?? null, width: box.width, height: box.height, buffer: canvas.width,
                 shorter: Math.min(innerWidth, innerHeight) };
    });
    await page.click('#fullscreen');
    await page.waitForFunction(() => document.fullscreenElement !== null, { timeout: frameTimeout });
    await bufferFollows(page, 1);
    const full = await shown();
    expect(full.full === 'stage' && full.width === full.height && full.width >= full.shorter - 60 &&
           full.buffer === full.width, `in full screen ${JSON.stringify(full)}`);
    await page.click('#fullscreen');
    await page.waitForFunction(() => document.fullscreenElement === null, { timeout: frameTimeout });
    await bufferFollows(page, 1);
    const back = await shown();
    expect(back.full === null && back.width === canvasSize && back.buffer === canvasSize,
           `back from full screen ${JSON.stringify(back)}`);
    return `full screen shows the canvas ${full.width} px square, and the control takes it back`;
}

// The canvas is the first stop of Tab, with a ring; Space, Enter and the
// start/stop button each start the camera and stop it again.
async function checkKeysAndButton(browser, site) {
    return atStep(browser, site, 0, async (opened) => {
        const { page } = opened;
        await page.keyboard.press('Tab');
        const focus = await page.evaluate(() => ({ id: document.activeElement.id,
                                                   ring: getComputedStyle(document.activeElement).outlineStyle }));
        expect(focus.id === 'canvas' && focus.ring === 'solid', `Tab goes to ${JSON.stringify(focus)}`);
        const lines = [];
        for (const key of ['Space', 'Enter'])
            lines.push(await expectToggles(page, key, () => page.keyboard.press(key)));
        lines.push(await expectToggles(page, 'the button', () => page.click('#camera')));
        lines.push(await expectFullScreen(page));
        expectNoPageErrors(opened);
        return `Tab focuses the canvas with a ring; ${lines.join('; ')}`;
    });
}

// Screens the page must fit: no sideways scroll, the canvas square and
// wholly on screen, as wide as fits up to 500 CSS px, its drawing buffer that
// times the pixel ratio; then the phone is turned (and a tap toggles the
// camera there, a long press opening no menu) and the window widened.
// (Chromium's emulated ratio changes no media query, so a zoom is not tried.)
const screens = [
    { name: 'a 390 px phone at ratio 3', width: 390, height: 844, deviceScaleFactor: 3, isMobile: true, hasTouch: true,
      then: { width: 844, height: 390 } },
    { name: 'a 320 px window', width: 320, height: 640, deviceScaleFactor: 1, then: { width: 480 } },
];

function canvasLayout(page) {
    return page.evaluate(() => {
        const canvas = document.getElementById('canvas');
        const box = canvas.getBoundingClientRect();
        return { pageWidth: document.documentElement.scrollWidth, left: box.left, top: box.top, width: box.width,
                 height: box.height, buffer: [canvas.width, canvas.height] };
    });
}

async function expectFits(page, screen) {
    await bufferFollows(page, screen.deviceScaleFactor);
    await animationFrames(page, 2);
    const at = await canvasLayout(page);
    const side = Math.round(at.width * screen.deviceScaleFactor);
    expect(at.pageWidth <= screen.width && at.left >= 0 && at.left + at.width <= screen.width,
           `at ${screen.width} px the page is ${at.pageWidth} px wide, the canvas from ${at.left} to ${at.left + at.width}`);
    expect(at.width === at.height && at.width >= Math.min(500, screen.width - 40),
           `at ${screen.width} px the canvas is ${at.width} x ${at.height} CSS px`);
    expect(at.buffer[0] === side && at.buffer[1] === side,
           `at ${screen.width} px and ratio ${screen.deviceScaleFactor} the buffer is ${at.buffer.join(' x ')}, not ${side}`);
    return `${at.pageWidth} px wide, canvas ${at.width} px at (${at.left}, ${at.top}), buffer ${at.buffer.join(' x ')}`;
}

async function checkScreen(browser, site, screen) {
    return onPage(browser, `${site}/`, async (opened) => {
        const { page } = opened;
        await firstFrameShown(opened);
        const lines = [await expectFits(page, screen)];
        await page.screenshot({ path: path.join(options.out, `screen-${screen.width}.png`) });
        await page.setViewport({ ...screen, ...screen.then });
        lines.push(`then ${JSON.stringify(screen.then)}: ${await expectFits(page, { ...screen, ...screen.then })}`);
        if (screen.hasTouch) {
            const [x, y] = await canvasCentre(page);
            lines.push(await expectToggles(page, 'a tap', () => page.touchscreen.tap(x, y)));
            await countMenus(page);
            await page.touchscreen.touchStart(x, y);
            await new Promise((done) => setTimeout(done, 1000));
            await page.touchscreen.touchEnd();
            expect((await page.evaluate(() => window.tollmereMenus)).allowed === 0, 'a long press opened a menu');
        }
        expectNoPageErrors(opened);
        return lines.join('; ');
    }, screen);
}

// The desktop's own frames at 1000 x 1000, the four views, written by the
// snapshot tool (from the repository's root, for its data/) one after the
// other while the browsers work: { steps: promise of the picture }.
function desktopFrames(snapshot, side) {
    const frames = {};
    let previous = Promise.resolve();
    for (const steps of viewSteps) {
        const out = path.resolve(options.out, `desktop-${side}-${viewName(steps)}.png`);
        previous = previous.then(() => new Promise((resolve, reject) => {
            execFile(path.resolve(snapshot), ['--size', String(side), '--steps', String(steps), '--out', out],
                     (error, stdout, stderr) => (error ? reject(new Error(`${snapshot}: ${stderr}`)) : resolve()));
        }));
        frames[steps] = previous.then(() => readPng(out));
        frames[steps].catch(() => {}); // reported by the check
    }
    return frames;
}

// At ratio 2 the page draws 1000 x 1000 pixels, and the four views differ
// from the desktop's own frames of that size as little as at ratio 1.
async function checkRatioTwo(browser, site, desktop) {
    const shares = [];
    for (const steps of viewSteps) {
        const c = await onPage(browser, `${site}/#steps=${steps}`, async (opened) => {
            await firstFrameShown(opened);
            const buffer = await opened.page.$eval('#canvas', (canvas) => `${canvas.width} x ${canvas.height}`);
            expect(buffer === '1000 x 1000', `at ratio 2 the canvas draws ${buffer} pixels`);
            return comparePictures(await desktop[steps], await canvasPicture(opened.page, 2 * canvasSize));
        }, { width: 640, height: 720, deviceScaleFactor: 2 });
        expect(c.sameSize && c.percent <= viewTolerancePercent, `after ${steps} steps ${describe(c)}`);
        shares.push(c.percent.toFixed(3));
    }
    return `views ${viewSteps.join(', ')} differ from the desktop's 1000 x 1000 in ${shares.join(', ')} % of pixels`;
}

// While the pictures are on their way (held here) the canvas counts them
// and the file chooser is disabled, saying why; then both go.
async function checkLoading(browser, site) {
    const held = [];
    const page = await browser.newPage();
    try {
        await page.setBypassServiceWorker(true); // an earlier check's worker would answer from its cache
        await page.setRequestInterception(true);
        page.on('request', (request) => (request.url().endsWith('.tga.gz') ? held.push(request) : request.continue()));
        await page.goto(`${site}/`, { waitUntil: 'domcontentloaded' });
        // [the notice, the chooser disabled, its reason], '' where hidden.
        const shown = () => page.$$eval('#loading, #pictures, #pictures-wait',
                                        (all) => all.map((e) => (e.hidden ? '' : e.disabled ?? e.textContent)));
        for (const [loaded, release] of [[0, 3], [3, 4]]) {
            const words = `Loading the pictures: ${loaded} of 7`;
            await page.waitForFunction((text) => document.getElementById('loading').textContent === text,
                                       { timeout: frameTimeout }, words);
            const [notice, disabled, reason] = await shown();
            expect(notice === words && disabled === true && reason !== '',
                   `with ${loaded} of 7 pictures in the page shows ${JSON.stringify([notice, disabled, reason])}`);
            for (const end = Date.now() + frameTimeout; held.length < release && Date.now() < end;)
                await new Promise((done) => setTimeout(done, 20));
            held.splice(0, release).forEach((request) => request.continue());
        }
        await page.waitForFunction(() => typeof Module !== 'undefined' && Module.tollmereStarted === true,
                                   { timeout: frameTimeout });
        const done = await shown();
        expect(JSON.stringify(done) === '["",false,""]', `once loaded the page shows ${JSON.stringify(done)}`);
        return 'the canvas says "Loading the pictures: 0 of 7", then 3 of 7, the chooser waits ' +
               `"${(await page.$eval('#pictures-wait', (e) => e.textContent))}"; then both go`;
    } finally {
        await page.close();
    }
}

// axe-core finds nothing on the page as opened, nor once a picture is
// refused (its reason in the live region).
const axeSource = fs.readFileSync(new URL('node_modules/axe-core/axe.min.js', import.meta.url), 'utf8');

async function axeViolations(page) {
    await page.evaluate(axeSource);
    return page.evaluate(async () => (await axe.run(document)).violations.map((v) => `${v.id} (${v.nodes.length})`));
}

async function checkAxe(browser, site) {
    return atStep(browser, site, 0, async (opened) => {
        const { page } = opened;
        const opening = await axeViolations(page);
        expect(opening.length === 0, `axe finds on the page as opened: ${opening.join(', ')}`);
        const fallback = await page.$eval('#canvas', (canvas) => canvas.textContent.trim());
        expect(fallback === '', `the drawn canvas keeps its fallback "${fallback}" for screen readers`);
        await choosePictures(page, [{ name: 'rear.TGA', bytes: plainPicture(8, magenta) }]);
        const refused = await axeViolations(page);
        expect(refused.length === 0, `axe finds after a refused picture: ${refused.join(', ')}`);
        const live = await page.$eval('#message', (e) => e.getAttribute('aria-live'));
        expect(live === 'polite', `the refusal's paragraph is aria-live=${live}`);
        return 'no violation as opened, nor after a refused picture; no fallback text once drawn';
    });
}

// A picture of several of the picture reader's 1 MB pieces (1024 x 1024
// at 32 bits, a band of colour to each piece) shows as its one-piece twin
// at 256 x 256 does. Chosen three times over, it is read each time, and
// neither the page's Workers nor its memory (WebAssembly's, and where the
// browser tells, JavaScript's after a collection) grow from round to round.
async function checkLargePicture(browser, site) {
    const bands = [magenta, [0, 255, 0], [0, 0, 255], [255, 255, 0]]; // bottom to top
    const banded = (side) => {
        const pixels = Buffer.alloc(side * side * 4);
        for (let row = 0; row < side; ++row) {
            const [r, g, b] = bands[Math.floor((row * bands.length) / side)];
            for (let i = row * side * 4; i < (row + 1) * side * 4; i += 4)
                pixels.set([b, g, r, 255], i);
        }
        return tgaFile(2, side, side, 32, pixels);
    };
    return atStep(browser, site, 0, async (opened) => {
        const { page } = opened;
        const cdp = browser.protocol === 'cdp' ? await page.createCDPSession() : null;
        const memory = async () => {
            const wasm = await page.evaluate(() => Module.HEAPU8.length);
            if (!cdp)
                return { wasm, workers: 0 };
            await cdp.send('HeapProfiler.collectGarbage');
            return { wasm, workers: page.workers().length, heap: (await cdp.send('Runtime.getHeapUsage')).usedSize };
        };
        await choosePictures(page, [{ name: 'Rear.tga', bytes: banded(256) }]);
        const twin = cropPicture(await canvasPicture(page), rearWall);
        const rounds = await withPictureFiles([{ name: 'Rear.tga', bytes: banded(1024) }], async (paths) => {
            const seen = [];
            for (let round = 0; round < 3; ++round) {
                await chooseFiles(page, paths);
                seen.push(await memory());
            }
            return seen;
        });
        const shown = comparePictures(twin, cropPicture(await canvasPicture(page), rearWall));
        expect(shown.percent < 2, `the large picture shows unlike its twin: ${describe(shown)}`);
        expect(rounds.every((r) => r.workers === 0), `Workers left after each round: ${rounds.map((r) => r.workers)}`);
        expect(rounds[2].wasm === rounds[1].wasm, `WebAssembly's memory grew: ${rounds.map((r) => r.wasm)} bytes`);
        const heap = rounds.map((r) => r.heap);
        expect(!cdp || heap[2] < heap[0] + 1e6, `JavaScript's heap grew: ${heap} bytes`);
        expectNothingLeftBehind(await pictureState(page));
        expectNoPageErrors(opened);
        return `${shown.percent.toFixed(2)} % of the wall unlike the twin; three rounds: ` +
               `memory ${rounds.map((r) => (r.wasm / 1e6).toFixed(1)).join(', ')} MB` +
               (cdp ? `, heap ${heap.map((h) => (h / 1e6).toFixed(1)).join(', ')} MB, no Worker left` : '');
    });
}

// ---- the site: its folder, its manifest and icons, its life offline

// What the folder holds: the page's files and nothing else.
const siteFiles = ['icon-192.png', 'icon-32.png', 'icon-maskable.png', 'index.html', 'manifest.webmanifest', 'sw.js',
                   'tollmere.css', 'tollmere.js.gz', 'tollmere.wasm.gz',
                   'tollmere_picture_reader.js', 'tollmere_picture_reader.wasm',
                   ...sevenPictures.map((name) => `data/${name}.gz`)].sort();

// The folder holds those files alone, and none of them, inflated where
// compressed, names the repository's path. Its manifest makes the page
// installable (name, standalone display, theme colour, a maskable icon),
// each icon, the tab's too, the scene at its stated size; and a description
// for link previews.
async function checkSite(browser, site) {
    const listed = fs.readdirSync(options.site, { recursive: true })
        .filter((name) => fs.statSync(path.join(options.site, name)).isFile()).sort();
    expect(JSON.stringify(listed) === JSON.stringify(siteFiles), `the site holds ${listed.join(', ')}`);
    const repository = path.resolve(options.site, '..', '..');
    for (const name of listed) {
        const bytes = fs.readFileSync(path.join(options.site, name));
        expect(!(name.endsWith('.gz') ? zlib.gunzipSync(bytes) : bytes).includes(repository),
               `${name} names ${repository}`);
    }
    return atStep(browser, site, 0, async (opened) => {
        const head = await opened.page.evaluate(() => ({
            manifest: document.querySelector('link[rel=manifest]')?.href,
            icon: document.querySelector('link[rel=icon]')?.href,
            description: document.querySelector('meta[name=description]')?.content,
        }));
        const manifest = await (await fetch(head.manifest)).json();
        expect(manifest.name === 'Tollmere' && manifest.display === 'standalone' &&
               /^#[0-9a-f]{6}$/.test(manifest.theme_color) && manifest.icons.some((i) => i.purpose === 'maskable'),
               `the manifest says ${JSON.stringify(manifest)}`);
        expect(/^Tollmere: .{20,200}$/.test(head.description ?? ''), `the description is ${head.description}`);
        for (const icon of [...manifest.icons, { src: head.icon, sizes: '32x32' }]) {
            const answer = await fetch(new URL(icon.src, head.manifest));
            expect(answer.ok, `${icon.src} answers ${answer.status}`);
            const picture = PNG.sync.read(Buffer.from(await answer.arrayBuffer()));
            expect(`${picture.width}x${picture.height}` === icon.sizes && coloursIn(picture).size >= 16,
                   `${icon.src} is ${picture.width} x ${picture.height}, not the scene at ${icon.sizes}`);
        }
        expectNoPageErrors(opened);
        return `${listed.length} files, the page's alone, none naming ${repository}; ` +
               `${manifest.icons.length} icons in the manifest and the tab's, each the scene at its size`;
    });
}

// After one visit, with the server gone (a server of its own, stopped), a
// reload draws the same scene from what the service worker kept.
async function checkOffline(browser) {
    const server = await serveSite(options.site);
    const site = `http://127.0.0.1:${server.address().port}`;
    const stop = () => {
        server.close();
        server.closeAllConnections();
    };
    try {
        return await atStep(browser, site, 0, async (opened) => {
            const { page } = opened;
            await page.waitForFunction(async () => (await navigator.serviceWorker.getRegistration())?.active?.state ===
                                                   'activated', { timeout: frameTimeout })
                .catch(() => expect(false, `no service worker took the page within ${frameTimeout / 1000} s`));
            const online = await canvasPicture(page);
            stop();
            expect(await fetch(`${site}/`).then(() => false, () => true), 'the stopped server still answers');
            await page.reload({ waitUntil: 'load' });
            await firstFrameShown(opened);
            const offline = comparePictures(online, await canvasPicture(page));
            expect(offline.off === 0, `offline, the reload shows another picture: ${describe(offline)}`);
            expectNoPageErrors(opened);
            return 'with the server gone, a reload draws the same scene';
        });
    } finally {
        stop();
    }
}

// ---- the run

function junit(results, seconds) {
    const escape = (s) => s.replace(/[<>&"]/g, (c) => ({ '<': '&lt;', '>': '&gt;', '&': '&amp;', '"': '&quot;' })[c]);
    const cases = results.cases.map((c) => c.failure === undefined
        ? `  <testcase name="${escape(c.name)}" classname="web" status="run" time="${c.seconds}"/>`
        : `  <testcase name="${escape(c.name)}" classname="web" status="fail" time="${c.seconds}">\n` +
          `    <failure message="${escape(c.failure)}"/>\n  </testcase>`);
    const failures = results.cases.filter((c) => c.failure !== undefined).length;
    return `<?xml version="1.0" encoding="UTF-8"?>\n<testsuite name="web" tests="${results.cases.length}" ` +
           `failures="${failures}" time="${seconds}">\n${cases.join('\n')}\n</testsuite>\n`;
}

// Runs each check, one line each, and keeps what it found for the summary.
async function runChecks(engine, checks, results) {
    for (const [name, check] of checks) {
        if (options.only && !name.includes(options.only))
            continue;
        const start = Date.now();
        const entry = { name: `${engine}: ${name}` };
        let line;
        try {
            line = `ok   ${entry.name}: ${await check()}`;
        } catch (error) {
            entry.failure = String(error.message ?? error);
            line = `FAIL ${entry.name}: ${entry.failure}`;
        }
        entry.seconds = ((Date.now() - start) / 1000).toFixed(2);
        console.log(`${line} [${entry.seconds} s]`);
        results.cases.push(entry);
    }
}

// What every engine checks: the four views, the mouse, GL errors, a missing
// picture, chosen and refused files, which go through each engine's own
// Worker and file APIs, and the service worker. Chromium checks the rest.
function everyEngineChecks(browser, site, engine) {
    return [
        ...viewSteps.map((steps) => [steps === 0 ? 'start view' : `view after ${steps} steps`,
                                     () => checkView(browser, site, steps, engine)]),
        ['left click circles, right and middle click stop', () => checkClicks(browser, site)],
        ['no GL error over 40 frames', () => checkNoGlErrors(browser, site)],
        ['a missing picture shows its message', () => checkMissingPicture(browser, site)],
        ['a chosen picture shows on its wall', () => checkChosenPicture(browser, site)],
        ['refused files keep the old pictures and say why', () => checkRefusedPictures(browser, site)],
        ['a picture of several MB shows right, read each time, in flat memory', () => checkLargePicture(browser, site)],
        ['a reload without the server draws the scene', () => checkOffline(browser)],
    ];
}

// The checks of one engine in one browser, which `launching` (a promise of
// a launch from browsers.mjs) gives. A browser that does not start fails a
// check of its own, so that it is counted.
async function inBrowser(engine, launching, checks, results) {
    let launched;
    try {
        launched = await launching;
        engine.name = launched.name;
        await runChecks(engine.id, checks(launched.browser), results);
    } catch (error) {
        results.cases.push({ name: `${engine.id}: the browser starts`, failure: String(error.message ?? error),
                             seconds: '0' });
        console.log(`FAIL ${engine.id}: the browser starts: ${error.stack ?? error}`);
    } finally {
        await launched?.close();
    }
}

// Chromium runs every check; Firefox and WebKitGTK, each in its own X
// server, the checks every engine runs, side by side, as each waits mostly
// on its own browser. Firefox starts while Chromium's checks run: a start,
// several seconds, is most of what a browser adds to the gate.
async function main() {
    const began = Date.now();
    const results = { cases: [] };
    const server = await serveSite(options.site, { [withoutSignPrefix]: missingFile });
    const site = `http://127.0.0.1:${server.address().port}`;
    const chromium = { id: 'chromium', name: 'Chromium', viewPercents: {} };
    const firefox = { id: 'firefox', name: 'Firefox', viewPercents: {} };
    const webkit = { id: 'webkit', name: 'WebKitGTK', viewPercents: {} };
    const launching = (launch) => {
        const promise = launch();
        promise.catch(() => {}); // reported when its checks would start
        return promise;
    };
    const firefoxLaunching = launching(launchFirefox);
    fs.mkdirSync(options.out, { recursive: true });
    const desktop = options.snapshot && desktopFrames(options.snapshot, 2 * canvasSize);
    try {
        await inBrowser(chromium, launchChromium(), (browser) => [
            ...everyEngineChecks(browser, site, chromium),
            ['a dropped picture shows on its wall', () => checkDroppedPicture(browser, site)],
            ['a stopped camera links to its view', () => checkLinkToView(browser, site)],
            ['Space, Enter and the button start and stop the camera; full screen', () => checkKeysAndButton(browser, site)],
            ...screens.map((screen) => [`the page fits ${screen.name}`, () => checkScreen(browser, site, screen)]),
            ['the canvas counts the pictures while they load', () => checkLoading(browser, site)],
            ['axe finds nothing', () => checkAxe(browser, site)],
            ...(desktop ? [['at ratio 2 the views match the desktop at 1000 x 1000',
                            () => checkRatioTwo(browser, site, desktop)]] : []),
            ['the site holds the page alone, and its manifest and icons install it', () => checkSite(browser, site)],
        ], results);
        const webkitLaunching = launching(launchWebKit);
        await Promise.all([[firefox, firefoxLaunching], [webkit, webkitLaunching]].map(([engine, launch]) =>
            inBrowser(engine, launch, (browser) => everyEngineChecks(browser, site, engine), results)));
    } finally {
        server.close();
    }
    const failed = results.cases.filter((c) => c.failure !== undefined).length;
    const shares = (engine) => `${engine.name.replace(/ .*/, '')} ` +
                               viewSteps.map((s) => engine.viewPercents[s]?.toFixed(3) ?? '-').join(', ');
    if (options.junit)
        fs.writeFileSync(options.junit, junit(results, ((Date.now() - began) / 1000).toFixed(2)));
    const engines = [chromium, firefox, webkit];
    console.log(`${results.cases.length - failed} passed, ${failed} failed in ${engines.map((e) => e.name).join(', ')}; ` +
                `views ${viewSteps.join(', ')} differ in ${engines.map(shares).join('; ')} % of pixels ` +
                `(at most ${viewTolerancePercent} %)`);
    return failed === 0 ? 0 : 1;
}

main().then((status) => process.exit(status), (error) => {
    console.log(`web test: ${error.stack ?? error}`);
    process.exit(1);
});
