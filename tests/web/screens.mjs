// Every screen of the pupil's page against the program's own server, in the windows pupils
// have: a Chromebook's page area (1366 × 630) and a tablet held either way (1024 × 1366,
// 1366 × 1024). A new pupil goes through the screens in the order of the table below; at each
// screen change the focus must be on the screen's first control (the answer box in hand on a
// drill), and once the screen is done (graded, finished) every control must lie inside the
// window at a size a finger hits, none over another, the page body must not scroll, no word
// may be broken over two lines, and no kanji above the second grade may show.
//   node screens.mjs /path/to/quorin
// SHOTS_DIR=folder keeps a screenshot of every screen at every size.
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { check, launch, shot, startServer, tabletPage, tap, tapText, text } from './harness.mjs';

const program = process.argv[2];
check(program && fs.existsSync(program), 'no program given (node screens.mjs /path/to/quorin)');

const SIZES = [
  { width: 1366, height: 630, hasTouch: true, isMobile: true },
  { width: 1024, height: 1366, hasTouch: true, isMobile: true },
  { width: 1366, height: 1024, hasTouch: true, isMobile: true },
];
// The kanji pupils have learnt in the first two grades.
const KANJI = '一右雨円王音下火花貝学気九休玉金空月犬見五口校左三山子四糸字耳七車手十出女小上森人水正生青夕石赤千川先早草足村大男竹中虫町天田土二日入年白八百文木本名目立力林六'
  + '引羽雲園遠何科夏家歌画回会海絵外角楽活間丸岩顔汽記帰弓牛魚京強教近兄形計元言原戸古午後語工公広交光考行高黄合谷国黒今才細作算止市矢姉思紙寺自時室社弱首秋週春書少場色食心新親図数西声星晴切雪船線前組走多太体台地池知茶昼長鳥朝直通弟店点電刀冬当東答頭同道読内南肉馬売買麦半番父風分聞米歩母方北毎妹万明鳴毛門夜野友用曜来里理話';

const data = fs.mkdtempSync(path.join(os.tmpdir(), 'quorin-screens-'));
const config = fs.mkdtempSync(path.join(os.tmpdir(), 'quorin-screens-config-'));
// A class of forty on the class list (plain ASCII names, the same bytes in code page 932);
// tablets sign in only names on it.
const names = ['taro', ...Array.from({ length: 39 }, (_, i) => `pupil${String(i + 1).padStart(2, '0')}`)];
fs.writeFileSync(path.join(data, 'Quorin.ini'),
  `Name;Novice;Intermediate;Expert;Challenge\r\n${names.map((n) => `${n};0;0;0;0\r\n`).join('')}`);
const server = await startServer(program, [
  '--serve', '--listen', '127.0.0.1', '--port', '0', '--data-folder', data,
], { env: { ...process.env, QT_QPA_PLATFORM: 'offscreen', XDG_CONFIG_HOME: config } });
let browser;
try {
  browser = await launch();
} catch (e) {
  await server.stop();
  throw e;
}

// What is wrong with the screen as shown: controls outside the window, too small to hit or
// over one another, a page body that scrolls, words broken over two lines, kanji a pupil
// cannot read.
function faults(kanji) {
  const out = [];
  const seen = (e) => e.getClientRects().length > 0 && getComputedStyle(e).visibility !== 'hidden';
  const se = document.scrollingElement;
  if (se.scrollHeight > innerHeight + 1 || se.scrollWidth > innerWidth + 1)
    out.push(`the page scrolls: ${se.scrollWidth} × ${se.scrollHeight}`);
  for (const c of document.querySelectorAll('button, input')) {
    if (!seen(c)) continue;
    // A control in a list that scrolls by itself is reached by scrolling the list: the list
    // must be inside the window.
    const size = c.getBoundingClientRect();
    let r = size;
    for (let e = c.parentElement; e; e = e.parentElement)
      if (/auto|scroll/.test(getComputedStyle(e).overflowY)) { r = e.getBoundingClientRect(); break; }
    const name = c.id || c.textContent.trim() || c.getAttribute('aria-label');
    if (r.top < -0.5 || r.left < -0.5 || r.bottom > innerHeight + 0.5 || r.right > innerWidth + 0.5)
      out.push(`「${name}」 outside the window at ${Math.round(r.left)},${Math.round(r.top)}-${Math.round(r.right)},${Math.round(r.bottom)}`);
    if (size.width < 44 || size.height < 44) out.push(`「${name}」 is ${Math.round(size.width)} × ${Math.round(size.height)}`);
  }
  // Controls, questions and the score do not lie over one another.
  const parts = [...document.querySelectorAll('button, input, .q-text, #score, #drill-message')].filter(seen)
    .map((e) => ({ e, r: e.getBoundingClientRect() }));
  for (const [i, x] of parts.entries()) {
    for (const y of parts.slice(i + 1)) {
      if (x.e.contains(y.e) || y.e.contains(x.e)) continue;
      if (Math.min(x.r.right, y.r.right) - Math.max(x.r.left, y.r.left) > 1
          && Math.min(x.r.bottom, y.r.bottom) - Math.max(x.r.top, y.r.top) > 1) {
        const name = (e) => e.id || e.textContent.trim() || e.getAttribute('aria-label');
        out.push(`「${name(x.e)}」 lies over 「${name(y.e)}」`);
      }
    }
  }
  const walker = document.createTreeWalker(document.body, NodeFilter.SHOW_TEXT);
  for (let node; (node = walker.nextNode());) {
    const el = node.parentElement;
    if (!seen(el) || el.closest('.sr, script, style')) continue;
    const hard = [...node.data].filter((c) => c >= '\u4e00' && c <= '\u9fff' && !kanji.includes(c));
    if (hard.length) out.push(`kanji 「${hard.join('')}」 in 「${node.data.trim()}」`);
    // A word (between spaces) whose letters lie on two lines is broken.
    const range = document.createRange();
    for (const m of node.data.matchAll(/\S+/g)) {
      range.setStart(node, m.index);
      range.setEnd(node, m.index + m[0].length);
      const tops = [...range.getClientRects()].filter((r) => r.width > 0).map((r) => r.top);
      if (tops.length && Math.max(...tops) - Math.min(...tops) > 4) out.push(`the word 「${m[0]}」 is broken`);
    }
  }
  return out;
}

// The focused element, said for a failure message, and whether it is `selector`.
async function focusIs(page, selector) {
  return page.evaluate((sel) => {
    const e = document.activeElement;
    const said = e ? `${e.tagName.toLowerCase()}#${e.id}.${e.className} 「${(e.textContent || e.value || '').trim().slice(0, 20)}」` : 'none';
    return { ok: !!e && e.matches(sel), said };
  }, selector);
}

// Answers the drill in hand with a hardware keyboard (digits, Enter) until its score or
// summary shows; `given(q)` is the number typed for question q (its box's index, a and b).
async function answer(page, given) {
  for (let i = 0; !(await text(page, '#score')); ++i) {
    check(i < 200, 'the drill does not end');
    const box = await page.waitForSelector('#sheet .box.current:not(:disabled)');
    const q = await box.evaluate((b) => ({ index: Number(b.dataset.index), a: Number(b.dataset.a), b: Number(b.dataset.b) }));
    await page.keyboard.type(String(given(q)));
    await page.keyboard.press('Enter');
    // The next box is in hand, or the set is done.
    await page.waitForFunction((was) => {
      const cur = document.querySelector('#sheet .box.current');
      return (cur && Number(cur.dataset.index) !== was) || document.getElementById('score').textContent !== '';
    }, {}, q.index);
  }
}

const right = (q) => q.a * q.b;
const oneWrong = (q) => (q.index === 1 ? q.a * q.b + 1 : q.a * q.b);

// The screens in the order a pupil meets them: how to get there, where the focus must be
// then, and what finishes the screen before it is looked at.
const problems = new Set();
const SCREENS = [
  {
    name: 'signin', focus: '#signin-name',
    reach: async (page) => {
      await page.goto(server.url);
      await page.waitForSelector('#screen-signin:not([hidden]) #names button');
    },
  },
  {
    name: 'home', focus: '#screen-home [data-go="practice"]',
    reach: async (page) => {
      await tap(page, '#signin-name');
      await page.keyboard.type('taro');
      await tapText(page, 'はじめる');
      await page.waitForSelector('#screen-home:not([hidden])');
    },
  },
  {
    name: 'rows', focus: '#rows button',
    reach: async (page) => {
      await tapText(page, 'れんしゅう', '#screen-home');
      await page.waitForSelector('#screen-rows:not([hidden])');
    },
  },
  {
    name: 'practice', focus: '#sheet .box.current',
    reach: async (page) => {
      await tapText(page, 'どれかのだん', '#rows');
      await page.waitForSelector('#screen-drill:not([hidden]) #sheet .box');
    },
    finish: (page) => answer(page, right),
  },
  {
    name: 'level', focus: '#sheet .box.current',
    reach: async (page) => {
      await tap(page, '#home-button');
      await tapText(page, 'レベル1', '#screen-home');
      await page.waitForSelector('#screen-drill:not([hidden]) #sheet .box');
    },
    finish: (page) => answer(page, oneWrong),
  },
  {
    name: 'level-fullmarks', focus: '#fullmarks-tabs button',
    reach: async (page) => {
      await tap(page, '#drill-fullmarks');
      await page.waitForSelector('#screen-fullmarks:not([hidden])');
    },
  },
  {
    name: 'level-again', focus: '#sheet .box.current',
    reach: async (page) => {
      await tapText(page, 'とじる', '#screen-fullmarks');
      await page.waitForSelector('#screen-drill:not([hidden])');
    },
  },
  {
    name: 'challenge', focus: '#sheet .box.current',
    reach: async (page) => {
      await tap(page, '#home-button');
      await tapText(page, 'チャレンジ', '#screen-home');
      await page.waitForSelector('#screen-drill:not([hidden]) #sheet.grid .box');
    },
    finish: (page) => answer(page, oneWrong),
  },
  {
    name: 'weak', focus: '#sheet .box.current',
    reach: async (page) => {
      await tap(page, '#home-button');
      await tapText(page, 'にがて れんしゅう', '#screen-home');
      await page.waitForSelector('#screen-drill:not([hidden]) #sheet .box');
    },
    finish: async (page) => {
      await answer(page, oneWrong);
      // The answer of the one missed is told as the answer, not as a number beside ×.
      const told = await text(page, '#mark-1 [aria-hidden]');
      if (!/^×\s*こたえ \d+$/.test(told)) problems.add(`weak: the missed question's mark reads 「${told}」`);
    },
  },
  {
    name: 'facts', focus: '#screen-facts .close-button',
    reach: async (page) => {
      await tap(page, '#home-button');
      await tapText(page, 'わたしの 九九', '#screen-home');
      await page.waitForSelector('#screen-facts:not([hidden]) #facts-map td');
    },
  },
  {
    name: 'kentei', focus: '#kentei-rows button',
    reach: async (page) => {
      await tap(page, '#home-button');
      await tapText(page, '九九けんてい', '#screen-home');
      await page.waitForSelector('#screen-kentei:not([hidden]) #kentei-rows button');
    },
  },
  {
    // A check under way: one right answer, its reading shown.
    name: 'check', focus: '#check-box',
    reach: async (page) => {
      await tapText(page, 'はじめる', '#screen-kentei');
      await page.waitForSelector('#screen-check:not([hidden])');
    },
    finish: async (page) => {
      const [a, b] = (await text(page, '#check-question')).match(/\d+/g).map(Number);
      await page.keyboard.type(String(a * b));
      await page.keyboard.press('Enter');
      await page.waitForFunction(() => document.getElementById('check-reading').textContent !== '');
    },
  },
  {
    name: 'card', focus: '#card-again',
    reach: async (page) => {
      await page.keyboard.type('99'); // no product of the table
      await page.keyboard.press('Enter');
      await page.waitForSelector('#screen-card:not([hidden]) #card-table td');
    },
  },
  {
    name: 'fullmarks', focus: '#fullmarks-tabs button',
    reach: async (page) => {
      await tap(page, '#home-button');
      await tap(page, '#screen-home [data-go="fullmarks"]');
      await page.waitForSelector('#screen-fullmarks:not([hidden])');
    },
  },
];

try {
  const page = await tabletPage(browser);
  await page.setViewport(SIZES[0]);
  for (const screen of SCREENS) {
    await screen.reach(page);
    const focus = await focusIs(page, screen.focus);
    if (!focus.ok) problems.add(`${screen.name}: the focus is on ${focus.said}, not on ${screen.focus}`);
    if (screen.finish) await screen.finish(page);
    for (const size of SIZES) {
      await page.setViewport(size);
      await new Promise((done) => setTimeout(done, 50));
      for (const f of await page.evaluate(faults, KANJI))
        problems.add(f.startsWith('kanji') ? `${screen.name}: ${f}` : `${screen.name} at ${size.width} × ${size.height}: ${f}`);
      await shot(page, screen.name);
    }
    await page.setViewport(SIZES[0]);

    if (screen.name === 'signin') {
      // No class name was given for the data folder: the bar shows none, never the folder's.
      const shownClass = await text(page, '#class-name');
      if (shownClass !== '') problems.add(`the bar shows the class 「${shownClass}」`);
    }
    if (screen.name === 'home') {
      // A control reached with the keyboard shows a thick ring.
      await page.keyboard.press('Tab');
      const ring = await page.evaluate(() => {
        const s = getComputedStyle(document.activeElement);
        return s.outlineStyle === 'none' ? 0 : parseFloat(s.outlineWidth);
      });
      if (ring < 3) problems.add(`the focus ring is ${ring} px`);
    }
    if (screen.name === 'practice') {
      // The つぎへ key is called what it shows; the pad dimmed after the set stays readable.
      const key = await page.$('#pad [data-key="Enter"]');
      const node = await page.accessibility.snapshot({ root: key, interestingOnly: false });
      if (node.name !== 'つぎへ') problems.add(`the つぎへ key is named 「${node.name}」`);
      const contrast = await page.evaluate(() => {
        const rgb = (c) => c.match(/[\d.]+/g).map(Number);
        const lum = ([r, g, b]) => [r, g, b].map((v) => { v /= 255; return v <= 0.03928 ? v / 12.92 : ((v + 0.055) / 1.055) ** 2.4; })
          .reduce((sum, v, i) => sum + v * [0.2126, 0.7152, 0.0722][i], 0);
        let worst = 21;
        for (const k of document.querySelectorAll('#pad.off button')) {
          let opacity = 1;
          for (let e = k; e; e = e.parentElement) opacity *= Number(getComputedStyle(e).opacity);
          const s = getComputedStyle(k);
          const [fg, bg] = [rgb(s.color), rgb(s.backgroundColor)];
          // Seen through the opacity on the paper behind.
          const paper = rgb(getComputedStyle(document.documentElement).backgroundColor);
          const mix = (c) => c.slice(0, 3).map((v, i) => v * opacity + paper[i] * (1 - opacity));
          const [l1, l2] = [lum(mix(fg)), lum(mix(bg))].sort((x, y) => y - x);
          worst = Math.min(worst, (l1 + 0.05) / (l2 + 0.05));
        }
        return worst;
      });
      if (contrast < 4.5) problems.add(`the dimmed pad's text has a contrast of ${contrast.toFixed(2)}`);
    }
  }
} catch (e) {
  await browser.close();
  await server.stop();
  throw e;
}
await browser.close();
await server.stop();
fs.rmSync(data, { recursive: true, force: true });
fs.rmSync(config, { recursive: true, force: true });
check(problems.size === 0, `${problems.size} faults:\n${[...problems].join('\n')}`);
console.log('web screens: passed');
