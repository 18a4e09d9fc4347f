<?php
// The front page of a small sample site.
require_once 'lib/db.php';

function page_title($section)
{
    return 'Viziro sample - ' . ucfirst($section);
}

function render_page($section, array $items)
{
    $title = page_title($section);
    echo "<html><head><title>$title</title></head><body>\n";
    echo "<h1>" . htmlspecialchars($title) . "</h1>\n<ul>\n";
    foreach ($items as $item) {
        echo '<li>' . htmlspecialchars($item['name']) . "</li>\n";
    }
    echo "</ul></body></html>\n";
}

$db = db_connect('sqlite:' . __DIR__ . '/data.sqlite');
render_page('home', db_fetch_all($db, 'SELECT name FROM items ORDER BY name'));
