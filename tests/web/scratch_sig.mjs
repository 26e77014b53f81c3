import { launchChromium, launchFirefox } from './browsers.mjs';
process.on('exit', () => console.log('exit event'));
const c = await launchChromium();
console.log('chromium', c.browser.process()?.pid);
const f = await launchFirefox();
console.log('firefox', f.browser.process()?.pid);
setTimeout(() => {}, 60000);
