// What the page tests share: starting a server that prints its address, a headless Chromium
// as a tablet, and a pupil's taps.
import { spawn } from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import puppeteer from 'puppeteer-core';

export const CHROMIUM = process.env.CHROMIUM || '/usr/bin/chromium';
export const TABLET = { width: 1024, height: 1366, hasTouch: true, isMobile: true };
export const LANDSCAPE = { width: 1366, height: 768, hasTouch: true, isMobile: true };

export function fail(text) {
  console.error('FAIL: ' + text);
  process.exitCode = 1;
  throw new Error(text);
}

export function check(condition, text) {
  if (!condition) fail(text);
}

// Starts a server and waits for its line "serving http://…/c/CODE/"; gives its address and
// a function that stops it with SIGTERM and waits for it to end.
export function startServer(command, args, options = {}) {
  return new Promise((resolve, reject) => {
    const child = spawn(command, args, { stdio: ['ignore', 'pipe', 'pipe'], ...options });
    let out = '';
    let err = '';
    const timer = setTimeout(() => {
      child.kill('SIGKILL');
      reject(new Error(`no "serving" line from ${command}\nstdout: ${out}\nstderr: ${err}`));
    }, 60000);
    child.stderr.on('data', (chunk) => { err += chunk; });
    child.stdout.on('data', (chunk) => {
      out += chunk;
      const m = /serving (http:\/\/\S+\/c\/[a-z2-9]+\/)/.exec(out);
      if (m && timer) {
        clearTimeout(timer);
        const ended = new Promise((done) => child.on('exit', (code, signal) => done({ code, signal })));
        resolve({
          url: m[1],
          stderr: () => err,
          stop: async () => {
            child.kill('SIGTERM');
            return ended;
          },
          kill: async (signal) => {
            child.kill(signal);
            return ended;
          },
        });
      }
    });
    child.on('exit', (code) => {
      clearTimeout(timer);
      reject(new Error(`${command} ended (${code}) before serving\nstdout: ${out}\nstderr: ${err}`));
    });
  });
}

export async function launch() {
  check(fs.existsSync(CHROMIUM), `no Chromium at ${CHROMIUM}`);
  return puppeteer.launch({
    executablePath: CHROMIUM,
    headless: true,
    args: ['--no-sandbox', '--disable-gpu', '--lang=ja', '--no-first-run', '--no-default-browser-check'],
  });
}

// A tablet's page whose script errors are printed with the test's output.
export async function tabletPage(browser) {
  const page = await browser.newPage();
  page.on('pageerror', (e) => console.error('page error:', e.message));
  page.on('console', (m) => { if (m.type() === 'error') console.error('page console:', m.text()); });
  await page.setViewport(TABLET);
  return page;
}

// Saves a screenshot for the eye when SHOTS_DIR is set; nothing is asserted on it.
export async function shot(page, name) {
  const dir = process.env.SHOTS_DIR;
  if (!dir) return;
  fs.mkdirSync(dir, { recursive: true });
  const v = page.viewport();
  await page.screenshot({ path: path.join(dir, `${name}-${v.width}x${v.height}.png`) });
}

// A pupil's tap on the element that matches the selector (waited for while hidden).
export async function tap(page, selector) {
  const handle = await page.waitForSelector(selector, { visible: true });
  await handle.tap();
  return handle;
}

// A button found by its text, as a pupil finds it.
export async function tapText(page, text, within = 'body') {
  const handle = await page.waitForFunction((scope, wanted) => {
    for (const b of document.querySelectorAll(`${scope} button`))
      if (b.textContent.trim() === wanted && b.offsetParent !== null && !b.disabled) return b;
    return null;
  }, {}, within, text);
  await handle.asElement().tap();
}

// Waits for the drill screen to show a set of the activity titled `title`. The sheet of an
// earlier set stays in the page, hidden, until the new set's reply comes: its boxes must not
// be read as the new set's questions.
export async function drillShown(page, title) {
  await page.waitForFunction((wanted) => !document.getElementById('screen-drill').hidden
    && document.getElementById('drill-title').textContent === wanted
    && document.querySelector('#sheet .box') !== null, {}, title);
}

// Types a number into the box in hand with the pad's keys, then the pad's つぎへ.
export async function padEnter(page, number) {
  for (const digit of String(number)) await tap(page, `#pad [data-key="${digit}"]`);
  await tap(page, '#pad [data-key="Enter"]');
}

// The questions of the sheet shown, as the page labels them.
export async function questions(page) {
  return page.$$eval('#sheet .box', (boxes) => boxes.map((b) => ({
    label: b.getAttribute('aria-label'), a: Number(b.dataset.a), b: Number(b.dataset.b),
  })));
}

export async function text(page, selector) {
  return page.$eval(selector, (e) => e.textContent.trim());
}

// A data folder with a class list of ASCII names (the same bytes in code page 932), and the
// environment of a server whose settings and per-user files stay in a folder of the test's.
export function classFolder(names) {
  const data = fs.mkdtempSync(path.join(os.tmpdir(), 'quorin-web-'));
  fs.writeFileSync(path.join(data, 'Quorin.ini'),
    'Name;Novice;Intermediate;Expert;Challenge\r\n' + names.map((n) => n + ';0;0;0;0\r\n').join(''));
  const home = fs.mkdtempSync(path.join(os.tmpdir(), 'quorin-home-'));
  const env = {
    ...process.env, QT_QPA_PLATFORM: 'offscreen',
    XDG_CONFIG_HOME: path.join(home, 'config'), XDG_DATA_HOME: path.join(home, 'data'),
  };
  return { data, env, args: ['--serve', '--listen', '127.0.0.1', '--data-folder', data] };
}

// The answer logs' lines of the data folder, as fields.
export function logLines(data) {
  return fs.readdirSync(data).filter((f) => /^answers-.*\.csv$/.test(f))
    .flatMap((f) => fs.readFileSync(path.join(data, f), 'utf8').split('\r\n').slice(1))
    .filter(Boolean).map((l) => l.split(','));
}

// A pupil on a tablet of their own (a browser context of its own: its own storage) signed in
// by tapping the name.
export async function signedInTablet(browser, url, name) {
  const context = await browser.createBrowserContext();
  const page = await tabletPage(context);
  await page.goto(url);
  await tapText(page, name, '#names');
  await page.waitForSelector('#screen-home:not([hidden])');
  return page;
}

// Digits tapped on the pad, without つぎへ.
export async function padType(page, digits) {
  for (const key of String(digits)) await tap(page, `#pad [data-key="${key}"]`);
}
