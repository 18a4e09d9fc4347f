<?php
// Reading products from the database.
require_once dirname(__FILE__) . '/db.php';
require_once dirname(__FILE__) . '/util/strings.php';

function catalogue_products($link, $limit)
{
    $rows = db_fetch_all($link, 'SELECT * FROM products ORDER BY added DESC LIMIT ' . intval($limit));
    return array_map('catalogue_prepare', $rows);
}

function catalogue_find($link, $slug)
{
    $rows = db_fetch_all($link, 'SELECT * FROM products WHERE slug = :slug', array('slug' => $slug));
    return count($rows) > 0 ? catalogue_prepare($rows[0]) : null;
}

function catalogue_prepare($row)
{
    if (empty($row['slug'])) {
        $row['slug'] = str_slug($row['name']);
    }
    $row['summary'] = str_truncate($row['description'], 120);
    return $row;
}
