// Renders a short conversation, typed in UTF-8, with two settings changed, and
// saves it as docs/preview.png, the picture the README shows.
// Usage: node screenshot.mjs [OUTPUT.png]
//        node screenshot.mjs --check   (fails when docs/preview.png is not what it draws)
import { mkdtempSync, readFileSync, rmSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join, relative } from 'node:path';
import { pathToFileURL } from 'node:url';
import { launchBrowser, repoRoot, runHost } from './support.mjs';

// Every category, Polish letters in and around the block.
const conversation = [
  'Bartek, zobacz moją pętlę:\n' +
    '[delphi]procedure Powitaj(const Imie: string);\n' +
    '{ mówi dzień dobry }\n' +
    'var i: Integer; // licznik\n' +
    'begin\n' +
    "  for i := 1 to 3 do WriteLn('Cześć, ', Imie);\n" +
    'end;[/delphi]',
  'Działa, dzięki! Kolory zmieniłem sobie w ustawieniach wtyczki.',
].join('\f');
// A fixed time beside the senders, so that two drawings of one commit are alike.
const settings = ['--set', 'LX/Colors/Strings=#008000', '--set', 'LX/Style/Bold/Numbers=1', '--time', '12:30'];

// Pixels of which a channel differs by more than kLevels count as different;
// the check fails when more than kShare of them do. Two drawings on one
// machine are equal, byte for byte; kLevels lets font smoothing elsewhere
// shade edges a little otherwise, and kShare (113 pixels) stays below what
// one changed character takes (about 300).
const kLevels = 8;
const kShare = 0.0001;

const committed = join(repoRoot, 'docs', 'preview.png');
const check = process.argv[2] === '--check';
const work = mkdtempSync(join(tmpdir(), 'lumarix-screenshot-'));
const output = check ? join(work, 'drawn.png') : process.argv[2] || committed;
// Twice the pixels: sharp on high-density screens, still a small file.
const browser = await launchBrowser({ viewport: { width: 900, height: 600 }, deviceScaleFactor: 2 });
try {
  const page = join(work, 'preview.html');
  runHost([...settings, '--preview', page], Buffer.from(conversation, 'utf8'));
  const tab = await browser.context.newPage();
  await tab.goto(pathToFileURL(page).href);
  await tab.locator('.window').screenshot({ path: output });
  if (check) {
    const pictures = [committed, output].map((file) => readFileSync(file).toString('base64'));
    const diff = await comparePictures(await browser.context.newPage(), pictures);
    const name = relative(repoRoot, committed);
    if (diff.sizes || diff.off > kShare * diff.pixels) {
      console.error(`${name} is not what the program draws now: ` +
        (diff.sizes || `${diff.off} of ${diff.pixels} pixels differ by more than ${kLevels} levels`) +
        `.\nDraw it again with: (cd tests/browser && node screenshot.mjs), and commit it.`);
      process.exitCode = 1;
    } else {
      console.log(`${name} is what the program draws: ${diff.off} of ${diff.pixels} pixels differ by more than ${kLevels} levels`);
    }
  } else {
    console.log(`wrote ${output}`);
  }
} finally {
  await browser.close();
  rmSync(work, { recursive: true, force: true });
}

// Decodes two PNG files (base64) in the browser and counts the pixels of
// which a channel differs by more than kLevels. `sizes` tells unequal sizes.
async function comparePictures(tab, pictures) {
  return tab.evaluate(async ([pictures, levels]) => {
    const pixels = await Promise.all(pictures.map(async (base64) => {
      const image = new Image();
      image.src = `data:image/png;base64,${base64}`;
      await image.decode();
      const canvas = new OffscreenCanvas(image.width, image.height);
      const context = canvas.getContext('2d');
      context.drawImage(image, 0, 0);
      return context.getImageData(0, 0, image.width, image.height);
    }));
    const [a, b] = pixels;
    if (a.width !== b.width || a.height !== b.height) {
      return { sizes: `${a.width}x${a.height} pixels, drawn ${b.width}x${b.height}` };
    }
    let off = 0;
    for (let k = 0; k < a.data.length; k += 4) {
      for (let c = 0; c < 4; ++c) {
        if (Math.abs(a.data[k + c] - b.data[k + c]) > levels) {
          ++off;
          break;
        }
      }
    }
    return { sizes: '', off, pixels: a.width * a.height };
  }, [pictures, kLevels]);
}
