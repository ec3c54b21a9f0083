// A small W3C WebDriver client for the page tests in WebKit: a private Xvfb, WebKitGTK's
// WebKitWebDriver on a free loopback port, and MiniBrowser under it. Plain HTTP with Node's
// fetch; nothing to install beyond Node.
import { spawn } from 'node:child_process';
import fs from 'node:fs';
import net from 'node:net';
import os from 'node:os';
import path from 'node:path';

export const DRIVER = process.env.WEBKIT_DRIVER || '/usr/bin/WebKitWebDriver';

// MiniBrowser lives beside the WebKitGTK library, under its API version.
export function findMiniBrowser() {
  if (process.env.MINIBROWSER) return fs.existsSync(process.env.MINIBROWSER) ? process.env.MINIBROWSER : '';
  for (const lib of ['/usr/lib/x86_64-linux-gnu', '/usr/lib/aarch64-linux-gnu', '/usr/lib', '/usr/libexec']) {
    let entries = [];
    try { entries = fs.readdirSync(lib); } catch { continue; }
    for (const dir of entries.filter((e) => /^webkit(2)?gtk-[\d.]+$/.test(e)).sort().reverse()) {
      const candidate = path.join(lib, dir, 'MiniBrowser');
      if (fs.existsSync(candidate)) return candidate;
    }
  }
  return '';
}

// What the WebKit tests need and do not find, in words for the test's output.
export function missing() {
  const lacks = [];
  if (!fs.existsSync(DRIVER)) lacks.push(`${DRIVER} (Debian package webkit2gtk-driver)`);
  if (!findMiniBrowser()) lacks.push('MiniBrowser (Debian package libwebkit2gtk-4.1-0)');
  const xvfb = (process.env.PATH || '').split(':').some((d) => d && fs.existsSync(path.join(d, 'Xvfb')));
  if (!xvfb) lacks.push('Xvfb (Debian package xvfb)');
  return lacks;
}

function freePort() {
  return new Promise((resolve, reject) => {
    const probe = net.createServer();
    probe.once('error', reject);
    probe.listen(0, '127.0.0.1', () => {
      const { port } = probe.address();
      probe.close(() => resolve(port));
    });
  });
}

const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));

// A private X server on a display it picks itself (-displayfd), as the real-input tests do.
async function startXvfb(scratch) {
  const displayFile = path.join(scratch, 'display');
  const fd = fs.openSync(displayFile, 'w');
  const child = spawn('Xvfb', ['-displayfd', '3', '-screen', '0', '2000x2000x24', '-nolisten', 'tcp'],
    { stdio: ['ignore', 'ignore', 'pipe', fd] });
  fs.closeSync(fd);
  let err = '';
  child.stderr.on('data', (c) => { err += c; });
  for (let i = 0; i < 100; ++i) {
    const text = fs.readFileSync(displayFile, 'utf8').trim();
    if (text) return { display: ':' + text, child };
    if (child.exitCode !== null) break;
    await sleep(100);
  }
  child.kill('SIGKILL');
  throw new Error(`Xvfb did not start: ${err}`);
}

export class WebDriverError extends Error {
  constructor(status, value) {
    super(`${value.error || status}: ${value.message || ''}`);
    this.code = value.error;
  }
}

const ELEMENT = 'element-6066-11e4-a52e-4f735466cecf';

// One browser session: the W3C commands the page tests use.
export class Session {
  constructor(base, id) {
    this.base = `${base}/session/${id}`;
  }

  async cmd(method, route, body) {
    const res = await fetch(this.base + route, {
      method,
      headers: { 'Content-Type': 'application/json' },
      body: body === undefined ? undefined : JSON.stringify(body),
    });
    const data = await res.json();
    if (!res.ok) throw new WebDriverError(res.status, data.value || {});
    return data.value;
  }

  navigate(url) { return this.cmd('POST', '/url', { url }); }
  refresh() { return this.cmd('POST', '/refresh', {}); }

  // Script with the page's own values; element references are turned back into handles.
  async execute(script, ...args) {
    return this.cmd('POST', '/execute/sync', { script, args });
  }

  async find(selector) {
    const found = await this.cmd('POST', '/element', { using: 'css selector', value: selector });
    return found[ELEMENT];
  }

  // Waits until the script returns something true, and returns it.
  async waitFor(script, args = [], { timeout = 20000, what = script } = {}) {
    const until = Date.now() + timeout;
    for (;;) {
      const value = await this.execute(script, ...args);
      if (value) return value;
      if (Date.now() > until) throw new Error(`timed out waiting for: ${what}`);
      await sleep(50);
    }
  }

  // The element matching the selector once it is shown (laid out and not hidden).
  async visible(selector, timeout) {
    await this.waitFor('const e = document.querySelector(arguments[0]);'
      + ' return !!e && e.getClientRects().length > 0 && getComputedStyle(e).visibility !== "hidden";',
    [selector], { timeout, what: selector });
    return this.find(selector);
  }

  elementClick(id) { return this.cmd('POST', `/element/${id}/click`, {}); }
  sendKeys(id, text) { return this.cmd('POST', `/element/${id}/value`, { text }); }

  // A finger's tap at the middle of the element, through the input actions at that point of
  // the window: the browser hit-tests it, so a control covered by another is not tapped, and
  // one outside the window is refused (a pupil cannot tap what is not on the screen).
  async tap(id) {
    const [x, y, inside] = await this.execute(`const r = arguments[0].getBoundingClientRect();
      const x = Math.round(r.left + r.width / 2), y = Math.round(r.top + r.height / 2);
      return [x, y, x >= 0 && y >= 0 && x < innerWidth && y < innerHeight];`, { [ELEMENT]: id });
    if (!inside) throw new Error(`a tap at ${x},${y} is outside the window`);
    await this.cmd('POST', '/actions', {
      actions: [{
        type: 'pointer', id: 'finger', parameters: { pointerType: 'touch' },
        actions: [
          { type: 'pointerMove', duration: 0, origin: 'viewport', x, y },
          { type: 'pointerDown', button: 0 },
          { type: 'pause', duration: 30 },
          { type: 'pointerUp', button: 0 },
        ],
      }],
    });
    await this.cmd('DELETE', '/actions');
  }

  // Sets the window so that the page itself (the viewport) gets the given size.
  async viewport(width, height) {
    for (let i = 0; i < 3; ++i) {
      const [w, h, ow, oh] = await this.execute('return [innerWidth, innerHeight, outerWidth, outerHeight]');
      if (w === width && h === height) return;
      await this.cmd('POST', '/window/rect', { width: width + ow - w, height: height + oh - h });
    }
    const [w, h] = await this.execute('return [innerWidth, innerHeight]');
    if (w !== width || h !== height) throw new Error(`the viewport is ${w} × ${h}, not ${width} × ${height}`);
  }

  async screenshot(file) {
    const png = await this.cmd('GET', '/screenshot');
    fs.mkdirSync(path.dirname(file), { recursive: true });
    fs.writeFileSync(file, Buffer.from(png, 'base64'));
  }

  close() { return this.cmd('DELETE', ''); }
}

// Starts Xvfb, the driver and a MiniBrowser session; gives the session and a stop function
// that ends all three.
export async function startWebKit() {
  const lacks = missing();
  if (lacks.length) throw new Error(`the WebKit page tests need: ${lacks.join(', ')}. 'make test' installs them.`);
  const scratch = fs.mkdtempSync(path.join(os.tmpdir(), 'quorin-webkit-'));
  const x = await startXvfb(scratch);
  const port = await freePort();
  // Tests run as root, where WebKit's bubblewrap sandbox cannot set itself up; the page
  // under test is our own, served on loopback.
  const env = { ...process.env, DISPLAY: x.display, WEBKIT_DISABLE_SANDBOX_THIS_IS_DANGEROUS: '1' };
  const driver = spawn(DRIVER, [`--port=${port}`, '--host=local'], { env, stdio: ['ignore', 'pipe', 'pipe'] });
  let log = '';
  driver.stdout.on('data', (c) => { log += c; });
  driver.stderr.on('data', (c) => { log += c; });
  const stop = async () => {
    for (const child of [driver, x.child]) {
      if (child.exitCode === null && child.signalCode === null) {
        const ended = new Promise((done) => child.once('exit', done));
        child.kill('SIGTERM');
        await Promise.race([ended, sleep(5000)]);
        if (child.exitCode === null && child.signalCode === null) child.kill('SIGKILL');
      }
    }
    fs.rmSync(scratch, { recursive: true, force: true });
  };
  const base = `http://127.0.0.1:${port}`;
  try {
    for (let i = 0; ; ++i) {
      try {
        await fetch(base + '/status');
        break;
      } catch (e) {
        if (i > 100 || driver.exitCode !== null) throw new Error(`WebKitWebDriver did not answer: ${log}`);
        await sleep(100);
      }
    }
    const res = await fetch(base + '/session', {
      method: 'POST',
      headers: { 'Content-Type': 'application/json' },
      body: JSON.stringify({
        capabilities: {
          alwaysMatch: {
            'webkitgtk:browserOptions': { binary: findMiniBrowser(), args: ['--automation'] },
          },
        },
      }),
    });
    const data = await res.json();
    if (!res.ok) throw new Error(`no WebKit session: ${JSON.stringify(data)}\n${log}`);
    const session = new Session(base, data.value.sessionId);
    return {
      session,
      log: () => log,
      stop: async () => {
        try { await session.close(); } catch { /* the browser may be gone already */ }
        await stop();
      },
    };
  } catch (e) {
    await stop();
    throw e;
  }
}
