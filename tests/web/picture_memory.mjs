// SPDX-License-Identifier: MIT
// What the page's memory comes to with seven of the largest pictures the
// reader takes chosen at once (8192 x 8192, 32-bit): a measurement that
// prints figures, not a check. The pictures are made in a scratch folder,
// uncompressed (the most bytes a picture of that size has) or run-length
// gradients as scripts/bench --large-pictures makes them. The browser's
// processes' resident memory is sampled every 20 ms while the page reads
// them; the page's WebAssembly memory and JavaScript heap are read after.
//   node tests/web/picture_memory.mjs [--site build-web/site] [--packing raw|rle]
//        [--count 1..7] [--rounds N]   (the same files chosen N times over)
import fs from 'node:fs';
import http from 'node:http';
import os from 'node:os';
import path from 'node:path';
import { parseArgs } from 'node:util';
import puppeteer from 'puppeteer-core';

const { values: options } = parseArgs({
    options: { site: { type: 'string', default: 'build-web/site' }, packing: { type: 'string', default: 'raw' },
               count: { type: 'string', default: '7' }, rounds: { type: 'string', default: '1' } },
});
const side = 8192;
const names = ['Rear.tga', 'Left.tga', 'Right.tga', 'Forward.tga', 'skyme.tga', 'brick.tga', 'sign.tga']
    .slice(0, Number(options.count));

// Seven pictures under dir: one file, linked under each name, when raw.
function writePictures(dir, packing) {
    const header = Buffer.alloc(18);
    header[2] = packing === 'raw' ? 2 : 10;
    header.writeUInt16LE(side, 12);
    header.writeUInt16LE(side, 14);
    header[16] = 32;
    header[17] = 8;
    const rows = [];
    for (let y = 0; y < side; ++y) {
        if (packing === 'raw') {
            const row = Buffer.alloc(side * 4);
            for (let x = 0; x < side; ++x)
                row.set([((x + y) >> 6) & 255, y >> 5, x >> 5, 255], 4 * x);
            rows.push(row);
        } else {
            const row = Buffer.alloc((side / 32) * 5);
            for (let run = 0; run < side / 32; ++run) // 32 pixels a packet, as x >> 5 makes runs
                row.set([0x80 | 31, ((run * 32 + y) >> 6) & 255, y >> 5, run, 255], 5 * run);
            rows.push(row);
        }
    }
    const first = path.join(dir, names[0]);
    fs.writeFileSync(first, Buffer.concat([header, ...rows]));
    for (const name of names.slice(1))
        fs.linkSync(first, path.join(dir, name));
    return names.map((name) => path.join(dir, name));
}

function serve(site) {
    const root = path.resolve(site);
    const types = { '.html': 'text/html', '.js': 'text/javascript', '.wasm': 'application/wasm' };
    const server = http.createServer((request, response) => {
        let name = new URL(request.url, 'http://host').pathname;
        if (name.endsWith('/'))
            name += 'index.html';
        const file = path.join(root, path.normalize(name));
        if (!file.startsWith(root + path.sep) || !fs.existsSync(file)) {
            response.writeHead(404).end();
            return;
        }
        response.writeHead(200, { 'Content-Type': types[path.extname(file)] ?? 'application/octet-stream' });
        fs.createReadStream(file).pipe(response);
    });
    return new Promise((resolve) => server.listen(0, '127.0.0.1', () => resolve(server)));
}

// Resident kB of pid and every process under it, by process type.
function residentKb(rootPid) {
    const children = new Map();
    for (const entry of fs.readdirSync('/proc')) {
        if (!/^\d+$/.test(entry))
            continue;
        try {
            const stat = fs.readFileSync(`/proc/${entry}/stat`, 'utf8');
            const parent = Number(stat.slice(stat.lastIndexOf(')') + 2).split(' ')[1]);
            children.set(parent, [...(children.get(parent) ?? []), Number(entry)]);
        } catch { /* gone */ }
    }
    const sizes = { all: 0, renderer: 0, gpu: 0 };
    const visit = (pid) => {
        try {
            const rss = Number(/VmRSS:\s+(\d+)/.exec(fs.readFileSync(`/proc/${pid}/status`, 'utf8'))?.[1] ?? 0);
            const line = fs.readFileSync(`/proc/${pid}/cmdline`, 'utf8');
            sizes.all += rss;
            if (line.includes('--type=renderer'))
                sizes.renderer += rss;
            if (line.includes('--type=gpu-process'))
                sizes.gpu += rss;
        } catch { /* gone */ }
        for (const child of children.get(pid) ?? [])
            visit(child);
    };
    visit(rootPid);
    return sizes;
}

async function main() {
    const scratch = fs.mkdtempSync(path.join(os.tmpdir(), 'tollmere-memory-'));
    const server = await serve(options.site);
    const args = ['--enable-unsafe-swiftshader', '--use-angle=swiftshader'];
    if (process.getuid?.() === 0)
        args.push('--no-sandbox');
    const browser = await puppeteer.launch({ executablePath: '/usr/bin/chromium-headless-shell', headless: 'shell',
                                             args, defaultViewport: { width: 640, height: 900 } });
    try {
        const files = writePictures(scratch, options.packing);
        const page = await browser.newPage();
        page.on('console', (message) => console.log(`page: ${message.text()}`));
        page.on('pageerror', (error) => console.log(`page error: ${error.message ?? error}`));
        page.on('workercreated', (worker) => console.log(`worker: ${worker.url()}`));
        await page.goto(`http://127.0.0.1:${server.address().port}/`, { waitUntil: 'load' });
        await page.waitForFunction(() => Module.tollmereStarted === true && Module._tollmere_frames_shown() > 0);
        const pid = browser.process().pid;
        const start = residentKb(pid);
        const peak = { ...start };
        const sampler = setInterval(() => {
            const now = residentKb(pid);
            for (const key of Object.keys(peak))
                peak[key] = Math.max(peak[key], now[key]);
        }, 20);
        const began = Date.now();
        for (let round = 1; round <= Number(options.rounds); ++round) {
            await (await page.$('#pictures')).uploadFile(...files);
            await page.waitForFunction((n) => Module._tollmere_pictures_handled() >= n,
                                       { timeout: 600000, polling: 100 }, round * names.length);
            await page.evaluate(() => new Promise((done) => requestAnimationFrame(() => requestAnimationFrame(done))));
            if (Number(options.rounds) > 1)
                console.log(`after round ${round}: resident MB ${JSON.stringify(residentKb(pid), (k, v) => (typeof v === 'number' ? Math.round(v / 1024) : v))}`);
        }
        const seconds = (Date.now() - began) / 1000;
        await new Promise((done) => setTimeout(done, 200));
        clearInterval(sampler);
        const end = residentKb(pid);
        const page_ = await page.evaluate(() => ({
            wasm: wasmMemory.buffer.byteLength,
            heap: performance.memory?.usedJSHeapSize,
            message: document.getElementById('message').textContent,
            textures: Module._tollmere_live_textures(),
        }));
        const mb = (kb) => (kb / 1024).toFixed(1);
        const bytes = fs.statSync(files[0]).size;
        console.log(`seven ${side} x ${side} 32-bit pictures, ${options.packing}, ${(bytes / 1e6).toFixed(1)} MB each, ` +
                    `read in ${seconds.toFixed(1)} s; message ${JSON.stringify(page_.message)}; ${page_.textures} textures`);
        console.log('| resident MB            | before | peak   | after  |');
        for (const key of ['all', 'renderer', 'gpu'])
            console.log(`| ${key.padEnd(22)} | ${mb(start[key]).padStart(6)} | ${mb(peak[key]).padStart(6)} | ${mb(end[key]).padStart(6)} |`);
        console.log(`page: WebAssembly memory ${(page_.wasm / 1048576).toFixed(1)} MB, JavaScript heap used ` +
                    `${(page_.heap / 1048576).toFixed(1)} MB after`);
        console.log(JSON.stringify({ packing: options.packing, file_bytes: bytes, seconds, start_kb: start, peak_kb: peak,
                                     end_kb: end, wasm_bytes: page_.wasm, js_heap_bytes: page_.heap }));
    } finally {
        await browser.close();
        server.close();
        fs.rmSync(scratch, { recursive: true, force: true });
    }
}

main().catch((error) => {
    console.log(`picture memory: ${error.stack ?? error}`);
    process.exit(1);
});
