// SPDX-License-Identifier: MIT
// page_bench: the browser version against the desktop viewer on the same
// machine, both on software renderers: frames per second over an orbit in
// headless Chromium (WebGL2 on SwiftShader) and in build/tollmere-bench
// (Xvfb, llvmpipe), run one after the other; the page's orbit again with
// the processor 4 times slower, as a phone's, and the ms of each frame's
// work on the main thread both ways, uncapped and at the display's pace, at
// 500 x 500 and on a phone's screen; the time from opening the page to its
// first frame, as it is and on a phone's profile (Lighthouse's mobile
// throttling, cache empty) with the bytes on the wire before it; and the
// bytes of the site's files. Prints a table and one JSON line
// (scripts/bench --web runs it).
//   node bench/page_bench.mjs --site build-web/site --desktop build/tollmere-bench [--frames N]
//
// The page counts its frames shown; a wrapper round requestAnimationFrame,
// put in before the page's own script, notes the time at the end of each
// animation callback that showed one. After a real left click the page takes
// one orbit step per frame; the frames per second are FRAMES frames, after a
// warm-up, over the wall time they took, as the desktop's are.
import { execFile } from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { fileURLToPath } from 'node:url';
import { parseArgs } from 'node:util';
import zlib from 'node:zlib';

import { launchChromium, serveSite } from '../tests/web/browsers.mjs';

const { values: options } = parseArgs({
    options: {
        site: { type: 'string', default: 'build-web/site' },
        desktop: { type: 'string', default: 'build/tollmere-bench' },
        frames: { type: 'string', default: '300' },
    },
});

const frames = Number(options.frames);
if (!/^[0-9]+$/.test(options.frames) || frames < 10 || frames > 100000) {
    console.error('usage: scripts/bench --web [FRAMES]   (10 to 100000 frames, default 300)');
    process.exit(2);
}
const warmUpFrames = 30;  // shown after the click and before the count starts
const openings = 5;       // the page is opened this many times for its first frame
const phoneOpenings = 3;  // and this many times on a phone's profile
const timeoutMs = 120000; // for the whole orbit to be drawn
const throttling = 4;     // times slower, as Lighthouse's mobile profile
let loadBefore = 0;       // the machine's load average over the last minute, when the run began

// Chromium paces animation frames to a 60 Hz display by default, which
// would cap the page where the desktop viewer, with no vertical sync in
// Xvfb, draws as fast as it can: against the viewer both run uncapped.
// Uncapped, though, a frame is as short as the GPU process allows, so the
// main thread's fixed work per frame (Blink's, not the page's) is most of it,
// and 4 times slower a page that draws nothing (bench/control, measured
// beside the page) keeps only a small part of its frames. What a phone shows
// is paced to its display, so the phone's orbit is measured at Chromium's
// own pace too.
const uncapped = ['--disable-frame-rate-limit', '--disable-gpu-vsync'];
const controlSite = path.join(path.dirname(fileURLToPath(import.meta.url)), 'control');

// Lighthouse's mobile screen: 412 x 823 CSS px at 1.75 device pixels each
// (the canvas's buffer is then 668 x 668).
const phoneScreen = { width: 412, height: 823, deviceScaleFactor: 1.75, isMobile: true, hasTouch: true };

// Runs in the page before its own script: frame ends, as performance.now()
// (ms from opening the page), and the ms spent in each of those callbacks.
function noteFrames() {
    const noted = { ends: [], costs: [], steps: [] };
    window.tollmereBench = noted;
    const request = window.requestAnimationFrame.bind(window);
    // Not before the viewer has started: emscripten 3.1.69's exports, called
    // sooner, keep a missing function for good.
    const shown = () => (typeof Module !== 'undefined' && Module.tollmereStarted === true
        ? [Module._tollmere_frames_shown(), Module._tollmere_orbit_steps()] : [0, 0]);
    window.requestAnimationFrame = (callback) => request((time) => {
        const before = shown()[0], began = performance.now();
        try {
            callback(time);
        } finally {
            const [after, steps] = shown();
            if (after > before) {
                const end = performance.now();
                noted.ends.push(end);
                noted.costs.push(end - began);
                noted.steps.push(steps);
            }
        }
    });
}

// Lighthouse's mobile profile, as Chrome's DevTools apply it: a 150 ms round
// trip, 1.6 Mbit/s down, 750 kbit/s up, the processor 4 times slower.
const phoneNetwork = { offline: false, latency: 150, downloadThroughput: 1.6e6 / 8, uploadThroughput: 750e3 / 8 };

// Bytes that crossed the wire for the page (headers included) up to its
// first frame: the resources the page had in by then, as it timed them.
function bytesBeforeFirstFrame() {
    const end = window.tollmereBench.ends[0];
    return performance.getEntriesByType('navigation').concat(performance.getEntriesByType('resource'))
        .filter((entry) => entry.responseEnd <= end)
        .reduce((sum, entry) => sum + entry.transferSize, 0);
}

function median(values) {
    return percentile(values, 0.5);
}

function percentile(values, p) {
    const sorted = [...values].sort((a, b) => a - b);
    return sorted.length ? sorted[Math.round(p * (sorted.length - 1))] : NaN;
}

// A page with its frames noted; `slowdown` and `network` throttle it first,
// and `screen` sets its viewport.
async function openNoted(browser, address, { slowdown = 1, network, screen } = {}) {
    const page = await browser.newPage();
    if (screen)
        await page.setViewport(screen);
    await page.evaluateOnNewDocument(noteFrames);
    const session = await page.createCDPSession();
    await session.send('Emulation.setCPUThrottlingRate', { rate: slowdown });
    if (network) {
        await session.send('Network.enable');
        await session.send('Network.emulateNetworkConditions', network);
    }
    await page.goto(address, { waitUntil: 'load', timeout: timeoutMs });
    return page;
}

// Frames noted so far, once at least `n` are.
async function notedFrames(page, n) {
    await page.waitForFunction((count) => window.tollmereBench.ends.length >= count, { timeout: timeoutMs }, n);
    return page.evaluate(() => window.tollmereBench);
}

// The first frame in a browser context of its own (cache and service
// worker empty), `conditions` as openNoted takes them: its ms from opening
// the page, and the bytes on the wire before it.
async function freshFirstFrame(browser, site, conditions) {
    const context = await browser.createBrowserContext();
    try {
        const page = await openNoted(context, `${site}/`, conditions);
        const ms = (await notedFrames(page, 1)).ends[0];
        return { ms, bytes: await page.evaluate(bytesBeforeFirstFrame) };
    } finally {
        await context.close();
    }
}

// Ms to the first frame over several openings, as it is.
async function firstFrames(browser, site) {
    const times = [];
    for (let i = 0; i < openings; ++i)
        times.push((await freshFirstFrame(browser, site)).ms);
    return times;
}

// The median opening on a phone's profile: ms and bytes on the wire.
async function phoneFirstFrames(browser, site) {
    const runs = [];
    for (let i = 0; i < phoneOpenings; ++i)
        runs.push(await freshFirstFrame(browser, site, { slowdown: throttling, network: phoneNetwork }));
    return runs.sort((a, b) => a.ms - b.ms)[Math.floor(runs.length / 2)];
}

// FRAMES frames of the orbit after a warm-up, from the frames noted so far.
async function orbitFrames(page) {
    const from = (await page.evaluate(() => window.tollmereBench.ends.length)) + warmUpFrames, to = from + frames;
    const noted = await notedFrames(page, to + 1);
    const intervals = noted.ends.slice(from + 1, to + 1).map((end, i) => end - noted.ends[from + i]);
    const seconds = (noted.ends[to] - noted.ends[from]) / 1000;
    return {
        fps: frames / seconds,
        medianMs: median(intervals),
        p95Ms: percentile(intervals, 0.95),
        callbackMs: median(noted.costs.slice(from + 1, to + 1)),
        p95CallbackMs: percentile(noted.costs.slice(from + 1, to + 1), 0.95),
        stepsPerFrame: (noted.steps[to] - noted.steps[from]) / frames,
    };
}

// The orbit after a real left click (a tap on a touch screen), then the
// same orbit on a processor `throttling` times slower (Chromium's own
// emulation of a phone's), in the same page.
async function orbit(browser, site, screen) {
    const page = await openNoted(browser, `${site}/`, { screen });
    try {
        await notedFrames(page, 1);
        const box = await (await page.$('#canvas')).boundingBox();
        const [x, y] = [box.x + box.width / 2, box.y + box.height / 2];
        await (screen?.hasTouch ? page.touchscreen.tap(x, y) : page.mouse.click(x, y, { button: 'left' }));
        const result = await orbitFrames(page);
        const session = await page.createCDPSession();
        await session.send('Emulation.setCPUThrottlingRate', { rate: throttling });
        result.throttled = await orbitFrames(page);
        await session.send('Emulation.setCPUThrottlingRate', { rate: 1 });
        return result;
    } finally {
        await page.close();
    }
}

// The site's files as they are published (the pictures and the program
// compressed already), and gzipped by a server that compresses.
function pageBytes(site) {
    const files = fs.readdirSync(site, { recursive: true }).filter((f) => fs.statSync(path.join(site, f)).isFile());
    let bytes = 0, gzipped = 0, pictures = 0;
    for (const file of files) {
        const content = fs.readFileSync(path.join(site, file));
        bytes += content.length;
        gzipped += file.endsWith('.gz') ? content.length : zlib.gzipSync(content, { level: 9 }).length;
        if (file.startsWith('data/'))
            pictures += content.length;
    }
    return { files: files.length, bytes, gzipped, pictures };
}

// The desktop viewer's benchmark, run alone; its JSON line is its last.
function desktopRun() {
    return new Promise((resolve, reject) => {
        execFile(options.desktop, [String(frames)], { maxBuffer: 1 << 20 }, (error, stdout, stderr) => {
            if (error)
                return reject(new Error(`${options.desktop} failed: ${stderr || error.message}`));
            const lines = stdout.trim().split('\n');
            const renderer = /renderer: (.*) in a private Xvfb/.exec(stdout)?.[1] ?? 'unknown';
            resolve({ ...JSON.parse(lines[lines.length - 1]).made_once, renderer });
        });
    });
}

// `run` with a browser launched with `args`, closed after.
async function withChromium(args, run) {
    const launched = await launchChromium(args);
    try {
        return await run(launched);
    } finally {
        await launched.close();
    }
}

async function pageRun() {
    const server = await serveSite(options.site), control = await serveSite(controlSite);
    const site = `http://127.0.0.1:${server.address().port}`;
    try {
        const page = await withChromium(uncapped, async ({ browser, name }) => ({
            name, first: await firstFrames(browser, site), phone: await phoneFirstFrames(browser, site),
            ...(await orbit(browser, site)),
            control: await orbit(browser, `http://127.0.0.1:${control.address().port}`),
        }));
        page.paced = await withChromium([], async ({ browser }) => ({
            square: await orbit(browser, site), phoneScreen: await orbit(browser, site, phoneScreen),
        }));
        return page;
    } finally {
        server.close();
        control.close();
    }
}

const fixed = (value, decimals) => (Number.isFinite(value) ? value.toFixed(decimals) : '-');
const kb = (bytes) => (bytes / 1000).toFixed(1);

function row(label, page, desktop) {
    console.log(`| ${label.padEnd(42)} | ${String(page).padStart(13)} | ${String(desktop).padStart(13)} |`);
}

function printTable(page, desktop, size) {
    console.log(`Tollmere, the page against the desktop viewer: ${frames} frames at 500 x 500 while orbiting`);
    console.log(`machine: ${os.cpus().length} cores, ${os.cpus()[0]?.model ?? 'unknown processor'}; ` +
                `load average ${loadBefore.toFixed(1)} when the run began`);
    console.log(`page: headless ${page.name}; desktop: ${desktop.renderer} in a private Xvfb\n`);
    row('', 'page', 'desktop');
    console.log(`|${'-'.repeat(44)}|${'-'.repeat(15)}|${'-'.repeat(15)}|`);
    row('frames counted', frames, frames);
    row('frames per second', fixed(page.fps, 1), fixed(desktop.fps, 1));
    row('median ms per frame (page: frame to frame)', fixed(page.medianMs, 2), fixed(desktop.median_ms, 2));
    row('95th percentile ms per frame', fixed(page.p95Ms, 2), fixed(desktop.p95_ms, 2));
    row('median ms in the page\'s frame callback', fixed(page.callbackMs, 2), '');
    row(`frames per second, ${throttling} times slower`, fixed(page.throttled.fps, 1), '');
    row(`  against unthrottled (uncapped)`, `${fixed(100 * page.throttled.fps / page.fps, 0)} %`, '');
    row(`  a page that draws nothing, the same`, `${fixed(100 * page.control.throttled.fps / page.control.fps, 0)} %`, '');
    row(`ms in the frame callback, ${throttling} times slower`, fixed(page.throttled.callbackMs, 2), '');
    row('orbit steps per frame', fixed(page.stepsPerFrame, 2), '1.00');
    row(`ms to the first frame (median of ${openings})`, fixed(median(page.first), 0),
        fixed(desktop.first_frame_ms, 0));
    row(`ms to the first frame (slowest of ${openings})`, fixed(Math.max(...page.first), 0), '');
    row(`ms to the first frame, phone (median of ${phoneOpenings})`, fixed(page.phone.ms, 0), '');
    row('bytes on the wire before it, phone', page.phone.bytes, '');
    row(`bytes of the site (${size.files} files)`, size.bytes, '');
    row('the same, with the rest gzipped too', size.gzipped, '');
    row('of which the seven pictures (gzipped)', size.pictures, '');
    printPaced(page.paced);
    const phone = page.paced.phoneScreen;
    console.log(`\npage / desktop, frames per second: ${fixed(page.fps / desktop.fps, 2)}; ` +
                `on a phone's screen at its pace, processor ${throttling} times slower / unthrottled: ` +
                `${fixed(phone.throttled.fps / phone.fps, 2)}; ` +
                `phone's first frame ${fixed(page.phone.ms, 0)} ms after ${kb(page.phone.bytes)} kB on the wire`);
}

// The orbits at Chromium's own pace: 500 x 500 and the phone's screen.
function printPaced({ square, phoneScreen: phone }) {
    console.log(`\nThe same orbit at Chromium's own pace (a 60 Hz display), unthrottled and ${throttling} times slower:\n`);
    row('', '500 x 500', 'phone screen');
    console.log(`|${'-'.repeat(44)}|${'-'.repeat(15)}|${'-'.repeat(15)}|`);
    const both = (label, value) => row(label, value(square), value(phone));
    both('frames per second', (o) => fixed(o.fps, 1));
    both(`frames per second, ${throttling} times slower`, (o) => fixed(o.throttled.fps, 1));
    both('  against unthrottled', (o) => `${fixed(100 * o.throttled.fps / o.fps, 0)} %`);
    both(`95th percentile ms a frame, ${throttling} times slower`, (o) => fixed(o.throttled.p95Ms, 2));
    both('median ms in the frame callback', (o) => fixed(o.callbackMs, 2));
    both(`  the same, ${throttling} times slower`, (o) => fixed(o.throttled.callbackMs, 2));
    both(`  95th percentile, ${throttling} times slower`, (o) => fixed(o.throttled.p95CallbackMs, 2));
    both('orbit steps per frame', (o) => fixed(o.stepsPerFrame, 2));
}

function jsonLine(page, desktop, size) {
    const round = (value, decimals) => Number(fixed(value, decimals));
    return JSON.stringify({
        frames,
        page: {
            fps: round(page.fps, 1), median_ms: round(page.medianMs, 2), p95_ms: round(page.p95Ms, 2),
            callback_ms: round(page.callbackMs, 2),
            throttled: { rate: throttling, fps: round(page.throttled.fps, 1),
                         callback_ms: round(page.throttled.callbackMs, 2) },
            control: { fps: round(page.control.fps, 1), throttled_fps: round(page.control.throttled.fps, 1) },
            steps_per_frame: round(page.stepsPerFrame, 2),
            first_frame_ms: round(median(page.first), 0), first_frame_ms_all: page.first.map((t) => round(t, 0)),
            bytes: size.bytes, gzipped_bytes: size.gzipped, pictures_gzipped_bytes: size.pictures,
            phone_first_frame_ms: round(page.phone.ms, 0), phone_wire_bytes: page.phone.bytes,
            paced: Object.fromEntries(Object.entries(page.paced).map(([screen, o]) => [screen, {
                fps: round(o.fps, 1), callback_ms: round(o.callbackMs, 2),
                throttled: { fps: round(o.throttled.fps, 1), p95_ms: round(o.throttled.p95Ms, 2),
                             callback_ms: round(o.throttled.callbackMs, 2) },
            }])),
        },
        load_average: round(loadBefore, 1),
        desktop: { fps: desktop.fps, median_ms: desktop.median_ms, p95_ms: desktop.p95_ms,
                   first_frame_ms: desktop.first_frame_ms },
        page_to_desktop_fps: round(page.fps / desktop.fps, 2),
    });
}

async function main() {
    loadBefore = os.loadavg()[0];
    const size = pageBytes(options.site);
    // One after the other, so that neither takes the other's processor time.
    const desktop = await desktopRun();
    const page = await pageRun();
    printTable(page, desktop, size);
    console.log(jsonLine(page, desktop, size));
}

main().catch((error) => {
    console.error(`page_bench: ${error.stack ?? error}`);
    process.exit(1);
});
