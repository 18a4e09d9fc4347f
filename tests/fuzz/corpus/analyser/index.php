<?php
// Front page: pulls in the helpers and renders the latest posts.
require_once 'lib/db.php';
include "lib/format.php";
include('lib/ignored.php');

function render_page($title, $posts = array()) {
    $html = '<h1>' . escape_html($title) . '</h1>';
    foreach ($posts as $post) {
        $html .= format_post($post);
    }
    printf("%s", $html);
    return strlen($html);
}

render_page('Latest', fetch_posts(10));
